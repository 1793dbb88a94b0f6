#include "gui/postscript/stamp.h"

#include <gtest/gtest.h>

#include "gui/postscript/postscript_string.h"
#include "platform/files.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::MakeSettings;
using test::SplitLines;

TEST(Watermark, FontSizeDecidesOnOrOff) {
  const struct {
    const char* size;
    int expected;
    bool enabled;
  } cases[] = {
      {"45", 45, true},   {"0", 0, false},     {"-5", 0, false},  {"abc", 45, true},
      {"12.5", 45, true}, {"045", 45, true},   {"+45", 45, true}, {" 30 ", 30, true},
      {"2000", 1000, true}, {"", 45, true},    {"99999999999", 45, true},
  };
  for (const auto& c : cases) {
    const DictionaryPtr settings = MakeSettings({{"watermarktext", "X"}, {"watermarkfontsize", c.size}});
    EXPECT_EQ(WatermarkFontSize(*settings), c.expected) << c.size;
    EXPECT_EQ(WatermarkEnabled(*settings), c.enabled) << c.size;
  }
  EXPECT_FALSE(WatermarkEnabled(*MakeSettings({{"watermarkfontsize", "45"}})));
}

TEST(Watermark, Rotation) {
  const struct {
    const char* rotation;
    const char* expected;
  } cases[] = {
      {"", "corner2corner"},  {"C2C", "corner2corner"}, {" -c2c ", "corner2corner -1 mul"},
      {"45.5", "46"},         {"44.5", "44"},           {"405", "45"},
      {"-90", "-90"},         {"-450", "-90"},          {"abc", "0"},
      {"30deg", "30"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WatermarkRotation(*MakeSettings({{"watermarkrotation", c.rotation}})), c.expected)
        << c.rotation;
  }
}

TEST(Watermark, StampTextTakesTheFontsSingleByteCodes) {
  EXPECT_EQ(StampTextBytes("Entwurf – für Prüfung"), "Entwurf \x8F f\xFCr Pr\xFC" "fung");
  EXPECT_EQ(StampTextBytes("€ “x” Я"), "\x80 \x8Cx\x8D ?");
  EXPECT_EQ(PostScriptString(StampTextBytes("für")), "(f\\374r)");
}

// The program's lines by row: rows 1-13 and 15 on are single lines; row 14, the encoding vector,
// takes 32 lines (eight names each).
std::string Line(const std::vector<std::string>& lines, std::size_t row) {
  const std::size_t number = row <= 13 ? row : row + 31;
  return number <= lines.size() ? lines[number - 1] : std::string("<missing>");
}

TEST(StampProgram, DefaultsAndValues) {
  const auto lines = SplitLines(MakeStampProgram(*MakeSettings({{"watermarktext", "Draft (1)"}})));
  ASSERT_EQ(lines.size(), 159u);
  EXPECT_EQ(Line(lines, 1), "%!PS");
  EXPECT_EQ(Line(lines, 5), "/stampstring (Draft \\(1\\)) def");
  EXPECT_TRUE(Line(lines, 6).starts_with("/fontname (/")) << Line(lines, 6);
  EXPECT_EQ(Line(lines, 7), "/fontsize 45 def");
  EXPECT_EQ(Line(lines, 8), "/fontcolor {.850980392156863 .850980392156863 .850980392156863} def");
  EXPECT_EQ(Line(lines, 9), "/fontlinewidth 2 def");
  EXPECT_EQ(Line(lines, 10), "/relative_horizontal_margin 0 def");
  EXPECT_EQ(Line(lines, 11), "/relative_vertical_margin 0 def");
  EXPECT_EQ(Line(lines, 13), "/ISOLatin1Encoding [");
  EXPECT_EQ(lines[13], "/.notdef/emdash/trademark/scaron/guilsinglright/oe/zcaron/Ydieresis");
  EXPECT_EQ(lines[44], "/oslash/ugrave/uacute/ucircumflex/udieresis/yacute/thorn/ydieresis");
  EXPECT_EQ(Line(lines, 15), "] def");
  EXPECT_EQ(Line(lines, 17), "dup length dict begin");
  EXPECT_EQ(Line(lines, 118), "center_horizontal_position center_vertical_position");
  EXPECT_EQ(Line(lines, 123), "true charpath stroke");
  EXPECT_EQ(Line(lines, 127),
            "<< /EndPage [ /stamp load /exec load currentpagedevice /EndPage get /exec load ] cvx >> "
            "setpagedevice");
  EXPECT_EQ(Line(lines, 128), "end");
  EXPECT_EQ(Line(lines, 42), "/stampangle corner2corner def");
}

TEST(StampProgram, SettingsChangeTheirLines) {
  const auto lines = SplitLines(MakeStampProgram(*MakeSettings({
      {"watermarktext", "X"},
      {"watermarkfontsize", "12.5"},
      {"watermarkcolor", "#FFFFFF"},
      {"watermarkoutlinewidth", "0"},
      {"watermarkhorizontaladjustment", "12.5"},
      {"watermarkverticaladjustment", "-3"},
      {"watermarkhorizontalposition", "LEFT"},
      {"watermarkverticalposition", "top"},
      {"watermarkrotation", "405"},
      {"watermarklayer", "Bottom"},
  })));
  ASSERT_EQ(lines.size(), 158u);  // no EndPage line for the bottom layer
  EXPECT_EQ(Line(lines, 7), "/fontsize 12.5 def");
  EXPECT_EQ(Line(lines, 8), "/fontcolor {1 1 1} def");
  EXPECT_EQ(Line(lines, 9), "/fontlinewidth 0 def");
  EXPECT_EQ(Line(lines, 10), "/relative_horizontal_margin 12.5 def");
  EXPECT_EQ(Line(lines, 11), "/relative_vertical_margin 0 def");
  EXPECT_EQ(Line(lines, 42), "/stampangle 45 def");
  EXPECT_EQ(Line(lines, 118), "left_position top_position");
  EXPECT_EQ(Line(lines, 123), "show");
  EXPECT_EQ(Line(lines, 126), "10 dict begin");
  EXPECT_EQ(Line(lines, 127), "end");

  const auto other = SplitLines(MakeStampProgram(*MakeSettings({
      {"watermarktext", "X"}, {"watermarkfontsize", "abc"}, {"watermarkcolor", "#000000"},
      {"watermarkoutlinewidth", "-1"}, {"watermarkhorizontalposition", "right"},
      {"watermarkverticalposition", "middle"}, {"watermarkrotation", "-c2c"}})));
  EXPECT_EQ(Line(other, 7), "/fontsize 45 def");
  EXPECT_EQ(Line(other, 8), "/fontcolor {0 0 0} def");
  EXPECT_EQ(Line(other, 9), "/fontlinewidth 2 def");
  EXPECT_EQ(Line(other, 42), "/stampangle corner2corner -1 mul def");
  EXPECT_EQ(Line(other, 118), "right_position center_vertical_position");
}

TEST(StampFont, FileNamesResolveThroughFontconfig) {
  // The default names a font that Debian does not ship: a metric-compatible sans stands in.
  const std::string arial = ResolveStampFontFile("arial.ttf");
  ASSERT_FALSE(arial.empty());
  EXPECT_TRUE(FileExists(arial)) << arial;
  EXPECT_EQ(ResolveStampFontFile(""), arial);
  // A file fontconfig knows is found by its name in any letter case.
  const std::string liberation = ResolveStampFontFile("LIBERATIONSERIF-BOLD.TTF");
  EXPECT_EQ(FileNameOf(liberation), "LiberationSerif-Bold.ttf");
  // A path to an existing font file is taken as it is; a name found nowhere still gives a font.
  EXPECT_EQ(ResolveStampFontFile(liberation), liberation);
  const std::string unknown = ResolveStampFontFile("no-such-font-anywhere.ttf");
  EXPECT_TRUE(unknown.empty() || FileExists(unknown)) << unknown;
}

}  // namespace
}  // namespace nimbra
