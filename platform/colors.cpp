#include "platform/colors.h"

namespace nimbra {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The hex number at the start of the pair; 0 when the pair is missing or starts otherwise.
int PairValue(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return 0;
  std::string_view pair = text.substr(offset, 2);
  int value = 0;
  for (char c : pair) {
    int digit = HexDigit(c);
    if (digit < 0) break;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

RgbColor ParseColor(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  return RgbColor{PairValue(text, 0), PairValue(text, 2), PairValue(text, 4)};
}

std::int32_t ColorFromHex(std::string_view text) {
  RgbColor c = ParseColor(text);
  return c.red | (c.green << 8) | (c.blue << 16);
}

RgbColor SplitColor(std::int32_t colour) {
  auto bits = static_cast<std::uint32_t>(colour);
  return RgbColor{static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                  static_cast<int>((bits >> 16) & 0xFF)};
}

std::string ColorToHex(std::int32_t colour) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  RgbColor c = SplitColor(colour);
  std::string text = "#";
  for (int part : {c.red, c.green, c.blue}) {
    text += kHex[part >> 4];
    text += kHex[part & 0xF];
  }
  return text;
}

}  // namespace nimbra
