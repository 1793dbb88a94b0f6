#pragma once
// Small text helpers of the rendering code: settings are trimmed of blanks and compared in
// lower case (ASCII only: device names, presets and flags are ASCII words).
#include <string>
#include <string_view>

namespace nimbra::render {

inline std::string TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return std::string(text.substr(first, last - first + 1));
}

inline std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace nimbra::render
