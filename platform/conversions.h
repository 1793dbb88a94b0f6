#pragma once
// Tolerant conversions between texts and numbers. Settings are texts; wherever a setting becomes
// a number, or a number becomes settings or PostScript text, these are used, so that a bad value
// never stops a job (it reads as 0) and numbers are always written with "." whatever the locale.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The text as a 32-bit integer: leading/trailing blanks allowed, optional sign, decimal digits
// with an optional fraction and exponent (E or D), or &H / &O forms. Fractions are rounded to
// the nearest integer, halves to the even neighbour ("12.5" -> 12, "13.5" -> 14). A text that is
// not entirely a number, or that does not fit in 32 bits, gives 0.
std::int32_t SafeLong(std::string_view text);
// The same rounding and range rule for a double (not finite or out of range -> 0).
std::int32_t SafeLong(double value);
// The text as a double by the same rules as SafeLong (no rounding); anything else gives 0.
double SafeDouble(std::string_view text);

// Negative values become 0.
double NonNegative(double value);
std::int32_t NonNegative(std::int32_t value);

// The number at the start of the text, 0 when there is none. Blanks, tabs and line feeds are
// removed everywhere first; then the longest prefix of the form [sign] digits [. digits]
// [(E|D) [sign] digits], or &H hex digits, or &O octal digits, is read ("150%" -> 150,
// " 1 5" -> 15, "12.5pt" -> 12.5, "abc" -> 0). A result that is not finite gives 0.
double LeadingNumber(std::string_view text);

// The number as text: at most 15 significant digits, "." as separator, no leading zero before
// the point, no trailing zeros (1.5 -> "1.5", 0.5 -> ".5", -90 -> "-90"). Very small or large
// magnitudes use an exponent ("1E-07", "1E+20"), which LeadingNumber, SafeDouble, the settings
// readers and PostScript all read back as the same number. Not-finite values give "0".
std::string NumberText(double value);

// 2 to the power (position - 1) for positions 1..31. Position below 1: error 1000
// "Do not call the Bit function with position values below 1."; above 31: error 6 "Overflow".
std::int32_t Bit(int position);

// True when some element equals the value (texts compared by character codes).
bool InArray(std::string_view value, const std::vector<std::string>& array);
bool InArray(std::string_view value, std::initializer_list<std::string_view> array);
bool InArray(long value, const std::vector<long>& array);

}  // namespace nimbra
