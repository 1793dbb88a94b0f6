#pragma once
// What the captured PostScript says about itself: its DSC document properties and its pages.
#include <cstdint>
#include <string>

#include "platform/dictionary.h"

namespace nimbra {

// Lines searched for the document properties.
inline constexpr int kDocumentPropertyLines = 1000;

// A new dictionary with the keys `author` (%%For:), `title` (%%Title:) and `creationdate`
// (%%CreationDate:) as found, case-insensitively, in the first 1000 lines of the file (CR, LF and
// CR LF all end a line; a later match overwrites an earlier one). Values are decoded with
// DecodeDscText, so a PostScript-string value gives its text. A missing or unreadable file
// raises the file error (53 for a missing file).
DictionaryPtr ReadDocumentProperties(const std::string& postScriptFile);

// The number of lines beginning with exactly "%%Page:". Streams the file; raises the file error.
std::int64_t GetPageCount(const std::string& postScriptFile);

}  // namespace nimbra
