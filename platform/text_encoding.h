#pragma once
// Conversions between UTF-8 (every string inside the program) and the UTF-16LE bytes of the
// files shared with other programs (the language file, the status file). Bad input is repaired
// with U+FFFD rather than refused: these files come from outside and a job must not stop on them.
#include <string>
#include <string_view>

namespace nimbra {

// Appends the UTF-8 form of one code point (up to U+10FFFF; not checked for surrogates, so the
// caller decides what counts as a character).
void AppendUtf8(std::string& out, char32_t code);

// UTF-16LE bytes to UTF-8: surrogate pairs joined, unpaired surrogates become U+FFFD, an odd
// last byte is ignored. A byte-order mark is kept (as U+FEFF).
std::string Utf16LeToUtf8(std::string_view bytes);

// UTF-8 to UTF-16LE bytes without a byte-order mark; a byte that is not valid UTF-8 becomes
// U+FFFD, characters beyond U+FFFF become surrogate pairs.
std::string Utf8ToUtf16Le(std::string_view text);

}  // namespace nimbra
