#include "platform/conversions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/error.h"

namespace nimbra {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The number at the start of `text` (no blanks expected inside): how many characters form it
// and its value. length 0 means there is no number. A value out of the double range is
// reported as not finite.
struct Scanned {
  std::size_t length = 0;
  double value = 0;
};

Scanned ScanNumber(std::string_view text) {
  Scanned result;
  std::size_t i = 0;
  const std::size_t n = text.size();

  if (n >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h' || text[1] == 'O' ||
                                   text[1] == 'o')) {
    const int radix = (text[1] == 'H' || text[1] == 'h') ? 16 : 8;
    i = 2;
    double value = 0;
    while (i < n) {
      int digit = HexValue(text[i]);
      if (digit < 0 || digit >= radix) break;
      value = value * radix + digit;
      ++i;
    }
    if (i == 2) return result;  // "&H" without digits is no number
    result.length = i;
    result.value = value;
    return result;
  }

  // Decimal: [sign] digits [. digits] [(E|D) [sign] digits], at least one mantissa digit.
  std::string normalized;  // the same number in the form std::from_chars reads
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::size_t mantissaDigits = 0;
  while (i < n && IsDigit(text[i])) {
    normalized += text[i++];
    ++mantissaDigits;
  }
  if (i < n && text[i] == '.') {
    ++i;
    std::string fraction;
    while (i < n && IsDigit(text[i])) {
      fraction += text[i++];
    }
    mantissaDigits += fraction.size();
    if (mantissaDigits == 0) return result;
    if (!fraction.empty()) normalized += "." + fraction;
  }
  if (mantissaDigits == 0) return result;
  std::size_t end = i;
  if (i < n && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
    std::size_t expDigits = 0;
    while (j < n && IsDigit(text[j])) {
      exponent += text[j++];
      ++expDigits;
    }
    if (expDigits > 0) {  // an exponent marker without digits is not part of the number
      normalized += exponent;
      end = j;
    }
  }
  if (normalized.empty() || normalized[0] == '.') normalized.insert(0, "0");
  double value = 0;
  auto [ptr, ec] = std::from_chars(normalized.data(), normalized.data() + normalized.size(),
                                   value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as 0; overflow is reported as not finite.
    std::size_t e = normalized.find('e');
    bool negativeExponent = e != std::string::npos && e + 1 < normalized.size() &&
                            normalized[e + 1] == '-';
    value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
  } else if (ec != std::errc() || ptr != normalized.data() + normalized.size()) {
    return result;
  }
  result.length = end;
  result.value = negative ? -value : value;
  return result;
}

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

double SafeDouble(std::string_view text) {
  text = TrimBlanks(text);
  Scanned s = ScanNumber(text);
  if (s.length == 0 || s.length != text.size() || !std::isfinite(s.value)) return 0;
  return s.value;
}

std::int32_t SafeLong(double value) {
  if (!std::isfinite(value)) return 0;
  // nearbyint rounds in the default mode: to nearest, halves to the even neighbour.
  double rounded = std::nearbyint(value);
  if (rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max()) {
    return 0;
  }
  return static_cast<std::int32_t>(rounded);
}

std::int32_t SafeLong(std::string_view text) {
  text = TrimBlanks(text);
  Scanned s = ScanNumber(text);
  if (s.length == 0 || s.length != text.size()) return 0;
  return SafeLong(s.value);
}

double NonNegative(double value) { return value < 0 ? 0 : value; }
std::int32_t NonNegative(std::int32_t value) { return value < 0 ? 0 : value; }

double LeadingNumber(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') compact += c;
  }
  Scanned s = ScanNumber(compact);
  if (s.length == 0 || !std::isfinite(s.value)) return 0;
  return s.value;
}

std::string NumberText(double value) {
  if (!std::isfinite(value) || value == 0) return "0";
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                 std::chars_format::general, 15);
  if (ec != std::errc()) return "0";
  std::string text(buffer, ptr);
  // "0.5" -> ".5", "-0.5" -> "-.5"
  if (text.rfind("0.", 0) == 0) {
    text.erase(0, 1);
  } else if (text.rfind("-0.", 0) == 0) {
    text.erase(1, 1);
  }
  std::replace(text.begin(), text.end(), 'e', 'E');
  return text;
}

std::int32_t Bit(int position) {
  if (position < 1) {
    throw Error(err::kGeneral, "Do not call the Bit function with position values below 1.",
                "Bit");
  }
  if (position > 31) throw Error(6, "Overflow", "Bit");
  return static_cast<std::int32_t>(std::uint32_t{1} << (position - 1));
}

bool InArray(std::string_view value, const std::vector<std::string>& array) {
  return std::find(array.begin(), array.end(), value) != array.end();
}

bool InArray(std::string_view value, std::initializer_list<std::string_view> array) {
  return std::find(array.begin(), array.end(), value) != array.end();
}

bool InArray(long value, const std::vector<long>& array) {
  return std::find(array.begin(), array.end(), value) != array.end();
}

}  // namespace nimbra
