#pragma once
// Localisation: every text the user sees is written as "[id]English default". LoadLanguage reads
// the translations from "labels.txt" (UTF-16LE) in the application folder; Localize replaces a
// labelled text by its translation or strips the label. Dialog forms are translated by the
// dialogs themselves, control by control, through Localize and DialogCharset.
#include <string>
#include <string_view>

namespace nimbra {

inline constexpr std::string_view kLanguageFileName = "labels.txt";
inline constexpr std::string_view kDebugMarkerFileName = "debug.txt";

// Builds the label table from ProgramFolder() + "/labels.txt" (an empty table when the file is
// missing) and sets the dialog character set; the debug check then follows ProgramFolder().
// Throws the file reader's error when the file exists but cannot be read.
void LoadLanguage();
// The same with another application folder (tests, tools); Localize's debug check then looks
// for "debug.txt" in that folder.
void LoadLanguageFrom(const std::string& applicationFolder);

// The translated text: unlabelled texts as they are; a labelled text's non-empty translation;
// else its default (in debug mode the whole labelled text).
std::string Localize(std::string_view text);

// Escapes of the language file: "\n" and "\t" give CR LF, "\\" gives "\", a backslash before
// any other character is dropped, a backslash at the very end is dropped.
std::string UnescapeLabel(std::string_view text);

// Character set for the dialogs' fonts: 128 for "JPN", 130 for "KOR", else 0 (unchanged).
int DialogCharset();

// True when "debug.txt" exists (as a file, name taken literally) in the application folder;
// tested on every call. The one test of the debug marker: localisation shows the labels, the
// run keeps its temporary files.
bool IsDebugMode();

}  // namespace nimbra
