#include "platform/colors.h"

#include <gtest/gtest.h>

namespace nimbra {
namespace {

struct ParseCase {
  const char* text;
  RgbColor expected;
};

TEST(ParseColor, ReadsThreeHexPairs) {
  const ParseCase cases[] = {
      {"#FF8000", {255, 128, 0}},
      {"FF8000", {255, 128, 0}},     // the "#" is optional
      {"#ff8000", {255, 128, 0}},    // lower-case digits
      {"##FF8000", {0, 0xF8, 0}},    // only one "#" is dropped: the pairs are "#F", "F8", "00"
      {"#12", {0x12, 0, 0}},         // missing pairs are 0
      {"#12345", {0x12, 0x34, 5}},   // a short last pair is read as far as it goes
      {"#1G2233", {1, 0x22, 0x33}},  // a pair is read as far as it is hex
      {"#G12233", {0, 0x22, 0x33}},  // a pair not starting with a hex digit is 0
      {"", {0, 0, 0}},
      {"#", {0, 0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseColor(c.text), c.expected) << c.text;
}

TEST(Colors, RedIsTheLowestByte) {
  EXPECT_EQ(ColorFromHex("#FF0000"), 0x0000FF);
  EXPECT_EQ(ColorFromHex("#00FF00"), 0x00FF00);
  EXPECT_EQ(ColorFromHex("#0000FF"), 0xFF0000);
  EXPECT_EQ(SplitColor(0x123456), (RgbColor{0x56, 0x34, 0x12}));
  EXPECT_EQ(ColorToHex(0x0000FF), "#FF0000");
  // Bits above the third byte are not part of the colour.
  EXPECT_EQ(ColorToHex(-1), "#FFFFFF");
}

TEST(Colors, RoundTrips) {
  for (const char* text : {"#000000", "#FFFFFF", "#0A0B0C", "#C0FFEE", "#808080"}) {
    EXPECT_EQ(ColorToHex(ColorFromHex(text)), text);
  }
  for (std::int32_t colour : {0, 0xFFFFFF, 0x010203, 0xABCDEF}) {
    EXPECT_EQ(ColorFromHex(ColorToHex(colour)), colour);
  }
  EXPECT_EQ(ColorToHex(ColorFromHex("#c0ffee")), "#C0FFEE");
}

}  // namespace
}  // namespace nimbra
