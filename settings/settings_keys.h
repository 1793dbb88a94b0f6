#pragma once
// The vocabulary of the settings: the keys with their defaults, and the one place that knows how
// a setting's text is read as a flag or a number. Every reader of a flag goes through here, so
// "yes", "no" and the few special words are interpreted the same way everywhere.
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// The section of the settings files ("runonce", "settings", "global").
inline constexpr char kSettingsSection[] = "PDF Printer";
// The section of the user state file ("user").
inline constexpr char kUserSection[] = "User";

// A new dictionary with the 56 keys of the settings, in their fixed order, each with its default.
DictionaryPtr DefaultSettings();
// The default of one key ("" for a key without a default or an unknown key).
std::string DefaultSetting(std::string_view key);

// How a flag's text is compared: some readers trim blanks first, others do not.
enum class FlagTrim { kNo, kYes };

// A "yes" flag: true exactly when the text, lower-cased (and trimmed of blanks with kYes), is
// "yes"; everything else, the empty text included, is false.
bool IsYes(std::string_view text, FlagTrim trim = FlagTrim::kNo);
// A "no" flag: true unless the text, lower-cased, is "no" (so empty means true).
bool IsNotNo(std::string_view text);

// The same tests on a key of the settings (a missing key reads as the empty text).
bool YesSetting(const Dictionary& settings, std::string_view key, FlagTrim trim = FlagTrim::kNo);
bool NotNoSetting(const Dictionary& settings, std::string_view key);
// The leading number of a setting (0 when the text does not begin with a number).
double NumberSetting(const Dictionary& settings, std::string_view key);
// The setting lower-cased (for keyword settings such as "showsaveas" or "showpdf").
std::string KeywordSetting(const Dictionary& settings, std::string_view key);

// "confirmoverwrite": false only for "0" or "no" (any case), true otherwise.
bool ConfirmOverwrite(const Dictionary& settings);
// "bottom" when "watermarklayer" (or, when empty, its default) lower-cased is "bottom"; else "top".
std::string WatermarkLayer(const Dictionary& settings);
// A background document is configured: "superimpose" is not empty.
bool HasSuperimpose(const Dictionary& settings);

// The time limit of one Ghostscript run in seconds: "ghostscripttimeout" when its text, trimmed
// of blanks, is the plain decimal form of a 32-bit number ("600", "-5"), else 300 ("", "600s",
// "0600", "1e3"). 0 or less means the run times out at once unless it has already ended.
inline constexpr long kDefaultGhostscriptTimeout = 300;
long GhostscriptTimeout(const Dictionary& settings);

}  // namespace nimbra
