// The stamp as Ghostscript paints it: header and patched document through pdfwrite, the PDF
// rendered by pdftoppm, pixels checked where the text must be and where it must not.
#include <gtest/gtest.h>

#include <cmath>

#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_patch.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::Fixture;
using test::MakeSettings;
using test::PageImage;
using test::Rgb;
using test::TempFolder;

constexpr Rgb kRed{255, 0, 0};
constexpr int kDpi = 50;
constexpr double kWidth = 612;  // the fixtures are letter-sized
constexpr double kHeight = 792;

std::string Render(const TempFolder& temp, const Dictionary& settings, const std::string& input,
                   const std::string& name) {
  const std::string header = temp.File(name + "_header.ps");
  const std::string patched = temp.File(name + "_patched.ps");
  EXPECT_TRUE(WritePostScriptHeader(header, settings, true));
  PatchPostScriptFile(settings, "", patched, input);
  const std::string pdf = temp.File(name + ".pdf");
  EXPECT_EQ(test::RunPdfwrite({header, patched}, pdf, temp.File(name + ".out")), 0)
      << test::ReadAll(temp.File(name + ".out"));
  return pdf;
}

DictionaryPtr RedStamp(std::initializer_list<std::pair<const char*, const char*>> more) {
  DictionaryPtr settings = MakeSettings({{"watermarktext", "CONFIDENTIAL"},
                                         {"watermarkcolor", "#FF0000"},
                                         {"watermarkoutlinewidth", "0"},
                                         {"watermarkfontsize", "72"}});
  for (const auto& [key, value] : more) settings->Set(key, value);
  return settings;
}

// Red pixels in a square of 50 points around a point.
int RedAround(const PageImage& image, double x, double y) {
  return image.CountNear(kRed, 60, x - 25, y - 25, x + 25, y + 25);
}

TEST(StampRendering, DiagonalsFollowThePage) {
  TempFolder temp;
  const double angle = std::atan2(kHeight, kWidth);
  const double dx = 150 * std::cos(angle);
  const double dy = 150 * std::sin(angle);
  const double cx = kWidth / 2;
  const double cy = kHeight / 2;
  const struct {
    const char* rotation;
    bool rising;  // lower left to upper right
  } cases[] = {{"c2c", true}, {"-c2c", false}};
  for (const auto& c : cases) {
    const PageImage image(Render(temp, *RedStamp({{"watermarkrotation", c.rotation}}),
                                 Fixture("plain.ps"), c.rotation),
                          1, kDpi);
    const double sign = c.rising ? 1 : -1;
    EXPECT_GT(RedAround(image, cx, cy), 20) << c.rotation;
    EXPECT_GT(RedAround(image, cx + dx, cy + sign * dy), 20) << c.rotation;
    EXPECT_GT(RedAround(image, cx - dx, cy - sign * dy), 20) << c.rotation;
    EXPECT_EQ(RedAround(image, cx - dx, cy + sign * dy), 0) << c.rotation;
    EXPECT_EQ(RedAround(image, cx + dx, cy - sign * dy), 0) << c.rotation;
  }
}

TEST(StampRendering, AngleAndPlaceWithAdjustments) {
  TempFolder temp;
  // 45 degrees from the top left corner, 10 % of the page in from the left and from the top.
  const PageImage image(Render(temp,
                               *RedStamp({{"watermarkrotation", "45"},
                                          {"watermarkhorizontalposition", "left"},
                                          {"watermarkverticalposition", "top"},
                                          {"watermarkhorizontaladjustment", "10"},
                                          {"watermarkverticaladjustment", "10"}}),
                               Fixture("plain.ps"), "left_top"),
                        1, kDpi);
  const double left = kWidth * 0.10;
  const double top = kHeight * 0.90;
  // Nothing left of the margin or above it; the text rises at 45 degrees and ends at the top
  // margin; lower down it starts at the left margin.
  EXPECT_EQ(image.CountNear(kRed, 60, 0, 0, left - 3, kHeight), 0);
  EXPECT_EQ(image.CountNear(kRed, 60, 0, top + 3, kWidth, kHeight), 0);
  EXPECT_GT(image.CountNear(kRed, 60, left, top - 60, kWidth, top), 20);
  EXPECT_GT(image.CountNear(kRed, 60, left, 0, left + 60, top), 20);
  // The text runs along a 45-degree line: at 150 points right of its start it is 150 points up.
  const PageImage level(Render(temp, *RedStamp({{"watermarkrotation", "0"},
                                                {"watermarkverticalposition", "bottom"},
                                                {"watermarkhorizontalposition", "right"}}),
                               Fixture("plain.ps"), "bottom_right"),
                        1, kDpi);
  EXPECT_GT(level.CountNear(kRed, 60, kWidth / 2, 0, kWidth, 60), 100);
  EXPECT_EQ(level.CountNear(kRed, 60, 0, 80, kWidth, kHeight), 0);
}

// Pixels that are dark on the page without a stamp and red with it: the stamp covers the page.
int CoveredInk(const PageImage& without, const PageImage& with) {
  int covered = 0;
  for (int y = 0; y < without.Height(); ++y) {
    for (int x = 0; x < without.Width(); ++x) {
      const Rgb a = without.At(x, y);
      if (a.r + a.g + a.b < 150 && test::Near(with.At(x, y), kRed, 80)) ++covered;
    }
  }
  return covered;
}

TEST(StampRendering, BottomLayerShowsOnEveryFixtureUnderThePage) {
  TempFolder temp;
  for (const char* name : {"plain.ps", "testpage.ps", "form_russian.ps"}) {
    const PageImage without(Render(temp, *MakeSettings({}), Fixture(name), "none"), 1, kDpi);
    const PageImage bottom(Render(temp, *RedStamp({{"watermarklayer", "bottom"}}), Fixture(name), "bottom"),
                           1, kDpi);
    const PageImage top(Render(temp, *RedStamp({}), Fixture(name), "top"), 1, kDpi);
    // The stamp shows in the middle of the page in both layers.
    EXPECT_GT(bottom.CountNear(kRed, 60, 200, 300, 412, 492), 200) << name;
    EXPECT_GT(top.CountNear(kRed, 60, 200, 300, 412, 492), 200) << name;
    // Under the page its ink stays as it was; over the page the stamp hides some of it.
    EXPECT_EQ(CoveredInk(without, bottom), 0) << name;
    if (std::string(name) != "plain.ps") {  // the stamp crosses ink on the two image pages
      EXPECT_GT(CoveredInk(without, top), 20) << name;
    }
  }
}

TEST(StampRendering, EveryPageOfALongDocumentAndItsTextStays) {
  TempFolder temp;
  const std::string document = temp.File("doc.ps");
  test::MakeMultiPageDocument(5, document);
  const std::string pdf = Render(temp, *RedStamp({{"watermarklayer", "bottom"}}), document, "five");
  ASSERT_EQ(test::PdfPages(pdf), 5);
  for (int page = 1; page <= 5; ++page) {
    EXPECT_GT(PageImage(pdf, page, kDpi).CountNear(kRed, 60, 200, 300, 412, 492), 200) << page;
  }
  const std::string text = test::PdfText(pdf);
  for (int page = 1; page <= 5; ++page) {
    EXPECT_NE(text.find("Page " + std::to_string(page)), std::string::npos) << text;
  }
}

int Occurrences(const std::string& text, const std::string& what) {
  int count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(StampRendering, LatinOneCharactersShowAsTheirGlyphsOncePerPage) {
  TempFolder temp;
  // CUPS's document changes the page device before its page: no hidden stamp may stay behind.
  const std::string cups = Render(temp,
                                  *MakeSettings({{"watermarktext", "Entwurf – für Prüfung"},
                                                 {"watermarkrotation", "0"},
                                                 {"watermarkoutlinewidth", "0"}}),
                                  Fixture("plain.ps"), "latin1");
  EXPECT_EQ(Occurrences(test::PdfText(cups), "Entwurf – für Prüfung"), 1) << test::PdfText(cups);
  const std::string document = temp.File("doc.ps");
  test::MakeMultiPageDocument(3, document);
  const std::string pdf = Render(temp, *MakeSettings({{"watermarktext", "Entwurf – für Prüfung"},
                                                      {"watermarkrotation", "0"},
                                                      {"watermarkoutlinewidth", "0"}}),
                                 document, "three");
  EXPECT_EQ(Occurrences(test::PdfText(pdf), "Entwurf – für Prüfung"), 3) << test::PdfText(pdf);
}

TEST(StampRendering, MissingFontFileDoesNotFailTheJob) {
  TempFolder temp;
  const PageImage image(Render(temp, *RedStamp({{"watermarkfontname", "no-such-font-anywhere.ttf"}}),
                               Fixture("plain.ps"), "nofont"),
                        1, kDpi);
  EXPECT_GT(image.CountNear(kRed, 60, 200, 300, 412, 492), 50);
}

}  // namespace
}  // namespace nimbra
