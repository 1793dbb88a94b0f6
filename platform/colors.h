#pragma once
// Colours as the settings write them ("#RRGGBB") and as 32-bit values with red in the lowest
// byte, green in the next and blue in the third.
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbra {

struct RgbColor {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool operator==(const RgbColor&) const = default;
};

// One leading "#" dropped; characters 1-2, 3-4 and 5-6 are red, green and blue in hex. A pair
// that is missing or does not start with a hex digit gives 0; a pair is read as far as it is hex.
RgbColor ParseColor(std::string_view text);
// The 32-bit colour of ParseColor(text).
std::int32_t ColorFromHex(std::string_view text);
// "#" + red, green, blue as two upper-case hex digits each.
std::string ColorToHex(std::int32_t colour);
// Red = lowest byte, green = next, blue = third.
RgbColor SplitColor(std::int32_t colour);

}  // namespace nimbra
