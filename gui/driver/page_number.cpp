#include "gui/driver/page_number.h"

#include <cmath>
#include <limits>
#include <vector>

#include "platform/conversions.h"
#include "platform/error.h"

namespace nimbra {
namespace {

constexpr std::string_view kMacro = "<pageno";
constexpr int kMaxSubstitutions = 100;
// Number and text of the overflow raised for a width that does not fit a 32-bit integer.
constexpr long kOverflow = 6;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t FindIgnoringCase(std::string_view text, std::string_view what) {
  if (what.size() > text.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + what.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < what.size() && AsciiLower(text[i + k]) == what[k]) ++k;
    if (k == what.size()) return i;
  }
  return std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitAtCommas(std::string_view s) {
  std::vector<std::string_view> parts;
  for (;;) {
    std::size_t comma = s.find(',');
    parts.push_back(TrimBlanks(s.substr(0, comma)));
    if (comma == std::string_view::npos) return parts;
    s.remove_prefix(comma + 1);
  }
}

// The first character of a UTF-8 text: a fill character may be any character, not only ASCII.
std::string FirstCharacter(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                       : (lead >> 3) == 0x1E ? 4 : 1;
  if (length > s.size()) length = 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return std::string(s.substr(0, 1));
  }
  return std::string(s.substr(0, length));
}

// The replacement of one macro whose inner text (between "<" and ">") is `inner`.
std::string NumberTextFor(std::string_view inner, std::int32_t pageNumber) {
  std::vector<std::string_view> parts = SplitAtCommas(inner);
  double width = parts.size() > 1 ? LeadingNumber(parts[1].substr(0, 4)) : 0;
  // "1E99" fits in four characters; as in the original arithmetic it overflows.
  if (!(std::fabs(width) <= std::numeric_limits<std::int32_t>::max())) {
    throw Error(kOverflow, "Overflow");
  }
  // Halves to the even neighbour, like every other number the settings give.
  auto columns = static_cast<long>(std::nearbyint(width));
  std::string fill = "0";
  if (parts.size() > 2) fill = parts[2].empty() ? std::string(" ") : FirstCharacter(parts[2]);

  std::string number = std::to_string(pageNumber);
  if (columns <= 0 || static_cast<long>(number.size()) >= columns) return number;
  std::string padded;
  for (long i = static_cast<long>(number.size()); i < columns; ++i) padded += fill;
  return padded + number;
}

}  // namespace

std::string SubstitutePageNumber(std::string_view name, std::int32_t pageNumber) {
  std::string result(name);
  try {
    for (int pass = 0; pass < kMaxSubstitutions; ++pass) {
      std::size_t open = FindIgnoringCase(result, kMacro);
      if (open == std::string::npos) break;
      std::size_t close = result.find('>', open + kMacro.size());
      if (close == std::string::npos) break;
      std::string_view inner = std::string_view(result).substr(open + 1, close - open - 1);
      std::string number = NumberTextFor(inner, pageNumber);
      result.replace(open, close - open + 1, number);
    }
  } catch (const Error& e) {
    throw Error(err::kPageNumber,
                "Error in page no substitution '" + std::string(name) + "' page no " +
                    std::to_string(pageNumber) + ". Error " + std::to_string(e.Number()) + ": " +
                    e.Description(),
                "SubstitutePageNumber");
  }
  return result;
}

}  // namespace nimbra
