#include "gui/postscript/superimpose.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_patch.h"
#include "platform/error.h"
#include "platform/files.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::Fixture;
using test::MakeSettings;
using test::PageImage;
using test::Rgb;
using test::TempFolder;

TEST(ParsePlaceList, SplitsFilesAndPlaces) {
  const struct {
    const char* text;
    std::vector<std::pair<std::string, std::string>> items;
  } cases[] = {
      {"letter.pdf", {{"letter.pdf", ""}}},
      {"a.pdf<1>b.pdf<2->", {{"a.pdf", "1"}, {"b.pdf", "2-"}}},
      {"a.pdf<>b.pdf<1>", {{"a.pdf", ""}, {"b.pdf", "1"}}},
      {" a b.pdf <L1<ignored>>", {{" a b.pdf ", "L1"}}},
      {">>", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    const DictionaryPtr list = ParsePlaceList(c.text);
    ASSERT_EQ(list->Count(), c.items.size()) << c.text;
    for (std::size_t i = 0; i < c.items.size(); ++i) {
      const DictionaryPtr item = list->Section(std::to_string(i));
      ASSERT_TRUE(item) << c.text;
      EXPECT_EQ(item->Item("filename"), c.items[i].first) << c.text;
      EXPECT_EQ(item->Item("place"), c.items[i].second) << c.text;
    }
  }
}

// The pages of a 6-page document that background 1 goes under.
std::string PagesOf(const Dictionary& map, const std::string& eps) {
  std::string pages;
  for (const auto& entry : map) {
    if (entry.value.Text() == eps) pages += (pages.empty() ? "" : ",") + entry.key;
  }
  return pages;
}

TEST(MakeSuperimposePageMap, PlacesAsWritten) {
  const struct {
    const char* place;
    const char* pages;
  } cases[] = {
      {"", "1,2,3,4,5,6"}, {"1", "1"},       {"2-", "2,3,4,5,6"}, {"-3", "1,2,3"},
      {"O", "1,3,5"},      {"E2-6", "2,4,6"}, {"L1", "6"},       {"LE", "1,3,5"},
      {"0", "1,2,3,4,5,6"}, {"9", "9"},      {"lo", "2,4,6"},    {"e", "2,4,6"},
      {"1-3,5", "1,2,3"},  {" 2 - 4 ", "2,3,4"}, {"OE", "1,2,3,4,5,6"}, {"F3", "3"},
      {"2-0", "2,3,4,5,6"}, {"x5", "1,2,3,4,5,6"},
  };
  for (const auto& c : cases) {
    const DictionaryPtr settings = MakeSettings({{"superimpose", (std::string("a.pdf<") + c.place + ">").c_str()}});
    const DictionaryPtr map = MakeSuperimposePageMap(*settings, "/t/si_#.eps", 6);
    EXPECT_EQ(PagesOf(*map, "/t/si_1.eps"), c.pages) << c.place;
  }
}

TEST(MakeSuperimposePageMap, LaterBackgroundsWinAndEveryPageHasAKey) {
  const DictionaryPtr map =
      MakeSuperimposePageMap(*MakeSettings({{"superimpose", "a.pdf<>b.pdf<1>c.pdf<3-4>"}}), "s#.eps", 5);
  EXPECT_EQ(map->Keys(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(PagesOf(*map, "s1.eps"), "2,5");
  EXPECT_EQ(PagesOf(*map, "s2.eps"), "1");
  EXPECT_EQ(PagesOf(*map, "s3.eps"), "3,4");
  const DictionaryPtr none = MakeSuperimposePageMap(*MakeSettings({{"superimpose", "a.pdf<2>"}}), "s#.eps", 0);
  EXPECT_EQ(none->Keys(), (std::vector<std::string>{"2"}));
}

TEST(MakeSuperimposePageMap, SixteenBitOverflow) {
  for (const char* place : {"32768", "1-40000", "99999999999"}) {
    try {
      MakeSuperimposePageMap(*MakeSettings({{"superimpose", (std::string("a.pdf<") + place + ">").c_str()}}), "s#.eps", 3);
      FAIL() << place;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 6) << place;
      EXPECT_EQ(std::string(e.what()),
                std::string("Overflow: the background place '") + place +
                    "' holds a number above 32767.");
    }
  }
  EXPECT_THROW(MakeSuperimposePageMap(*MakeSettings({{"superimpose", "a.pdf"}}), "s#.eps", 32768), Error);
  EXPECT_EQ(MakeSuperimposePageMap(*MakeSettings({{"superimpose", "a.pdf<32767>"}}), "s#.eps", 3)->Count(), 4u);
}

TEST(WriteSuperimposeParameters, OneArgumentPerLine) {
  TempFolder temp;
  WriteSuperimposeParameters(temp.File("p.gs"), "/bg/letter head.pdf", "/t/full 1.eps", "/t/p.out");
  EXPECT_EQ(test::ReadAll(temp.File("p.gs")),
            "-q\n-dSAFER\n-dNOPAUSE\n-dBATCH\n\"-sstdout#/t/p.out\"\n-sDEVICE#eps2write\n-r14400\n"
            "-dFirstPage#1\n-dLastPage#1\n\"-sOutputFile#/t/full 1.eps\"\n\"/bg/letter head.pdf\"\n");
  EXPECT_THROW(WriteSuperimposeParameters(temp.File("p.gs"), "/bg/a\nb.pdf", "/t/f.eps", "/t/p.out"), Error);
}

SuperimposeRunner GhostscriptRunner(std::vector<std::string>* captures) {
  SuperimposeRunner runner;
  runner.runGhostscript = [](const std::string& parameterFile, const std::string&) {
    if (test::Shell("gs @" + test::Quote(parameterFile)) != 0) {
      throw Error(err::kGhostscriptFailed, "gs failed on " + parameterFile);
    }
  };
  runner.captureFileChanged = [captures](const std::string& capture) { captures->push_back(capture); };
  return runner;
}

TEST(MakeSuperimposeFiles, MissingBackgroundIsError1011) {
  TempFolder temp;
  std::vector<std::string> captures;
  try {
    MakeSuperimposeFiles(*MakeSettings({{"superimpose", "no-such-background.pdf<1>"}}), temp.File("si_#.eps"),
                         temp.File("si_full_#.eps"), temp.File("si_param_#.gs"), temp.File("si_param_#.out"),
                         GhostscriptRunner(&captures));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1011);
    EXPECT_STREQ(e.what(), "Background PDF 'no-such-background.pdf' does not exist.");
  }
}

constexpr Rgb kGreen{0, 153, 0};

TEST(MakeSuperimposeFiles, BackgroundsPaintUnderThePagesTheyAreMeantFor) {
  TempFolder temp;
  // A relative name is looked for in the program folder.
  setenv("NIMBRA_APP_FOLDER", temp.Path().c_str(), 1);
  test::MakeRectanglePdf(temp.File("band.pdf"), 0, 0.6, 0, 0, 600, 612, 192);
  test::MakeRectanglePdf(temp.File("corner.pdf"), 0, 0, 1, 0, 0, 100, 100);
  const DictionaryPtr settings = MakeSettings({{"superimpose", "band.pdf<O>corner.pdf<2>"},
                                               {"watermarktext", "Draft"},
                                               {"watermarklayer", "bottom"}});
  std::vector<std::string> captures;
  MakeSuperimposeFiles(*settings, temp.File("si_#.eps"), temp.File("si_full_#.eps"),
                       temp.File("si_param_#.gs"), temp.File("si_param_#.out"), GhostscriptRunner(&captures));
  unsetenv("NIMBRA_APP_FOLDER");
  EXPECT_EQ(captures, (std::vector<std::string>{temp.File("si_param_1.out"), temp.File("si_param_2.out")}));
  EXPECT_FALSE(FileExists(temp.File("si_param_1.out")));  // capture files are not kept
  ASSERT_TRUE(FileExists(temp.File("si_1.eps")));

  // A CUPS-like three-page document: the band goes under pages 1 and 3, the corner under 2.
  const std::string document = temp.File("doc.ps");
  test::MakeMultiPageDocument(3, document);
  const std::string header = temp.File("header.ps");
  const std::string patched = temp.File("patched.ps");
  ASSERT_TRUE(WritePostScriptHeader(header, *settings, true));
  PatchPostScriptFile(*settings, temp.File("si_#.eps"), patched, document);
  const std::string pdf = temp.File("out.pdf");
  ASSERT_EQ(test::RunPdfwrite({header, patched}, pdf, temp.File("out.out")), 0)
      << test::ReadAll(temp.File("out.out"));
  EXPECT_EQ(test::PageMarkers(temp.File("out.out")), (std::vector<int>{1, 2, 3}));

  const std::string text = test::PdfText(pdf);
  for (int page = 1; page <= 3; ++page) {
    const PageImage image(pdf, page, 50);
    const bool band = page != 2;
    // The band, where the page has no ink, and the page's own black text over it.
    EXPECT_EQ(test::Near(image.AtPoint(500, 700), kGreen, 30), band) << page;
    EXPECT_EQ(test::Near(image.AtPoint(50, 50), Rgb{0, 0, 255}, 30), !band) << page;
    EXPECT_GT(image.CountNear(Rgb{0, 0, 0}, 60, 72, 715, 200, 745), 20) << page;
    EXPECT_NE(text.find("Page " + std::to_string(page)), std::string::npos) << page;
  }
}

TEST(MakeSuperimposeFiles, BackgroundUnderACupsFixture) {
  TempFolder temp;
  test::MakeRectanglePdf(temp.File("band.pdf"), 0, 0.6, 0, 0, 600, 612, 192);
  std::vector<std::string> captures;
  const DictionaryPtr settings = MakeSettings({{"superimpose", temp.File("band.pdf").c_str()}});
  MakeSuperimposeFiles(*settings, temp.File("si_#.eps"), temp.File("si_full_#.eps"),
                       temp.File("si_param_#.gs"), temp.File("si_param_#.out"), GhostscriptRunner(&captures));
  const std::string header = temp.File("header.ps");
  const std::string patched = temp.File("patched.ps");
  ASSERT_TRUE(WritePostScriptHeader(header, *settings, true));
  PatchPostScriptFile(*settings, temp.File("si_#.eps"), patched, Fixture("plain.ps"));
  const std::string pdf = temp.File("out.pdf");
  ASSERT_EQ(test::RunPdfwrite({header, patched}, pdf, temp.File("out.out")), 0)
      << test::ReadAll(temp.File("out.out"));
  const PageImage with(pdf, 1, 50);
  ASSERT_EQ(test::RunPdfwrite({Fixture("plain.ps")}, temp.File("plain.pdf"), temp.File("plain.out")), 0);
  const PageImage without(temp.File("plain.pdf"), 1, 50);
  EXPECT_TRUE(test::Near(with.AtPoint(500, 700), kGreen, 30));
  // The page's own text (black, top left, inside the band) is drawn over the background.
  int ink = 0;
  int kept = 0;
  for (int y = 0; y < without.Height(); ++y) {
    for (int x = 0; x < without.Width(); ++x) {
      const Rgb a = without.At(x, y);
      if (a.r + a.g + a.b > 150) continue;
      ++ink;
      const Rgb b = with.At(x, y);
      if (b.r + b.g + b.b < 200) ++kept;
    }
  }
  EXPECT_GT(ink, 20);
  EXPECT_GT(kept, ink * 9 / 10);
}

// eps2write's prolog installs an error handler that prints the error, draws an error page and
// lets Ghostscript end with success. Neither an error in the document after a background nor
// one inside a background may end the run that way: the run fails and names the error.
TEST(MakeSuperimposeFiles, ErrorsAfterOrInsideABackgroundFailTheRun) {
  TempFolder temp;
  test::MakeRectanglePdf(temp.File("band.pdf"), 0, 0.6, 0, 0, 600, 612, 192);
  std::vector<std::string> captures;
  const DictionaryPtr settings = MakeSettings({{"superimpose", temp.File("band.pdf").c_str()}});
  MakeSuperimposeFiles(*settings, temp.File("si_#.eps"), temp.File("si_full_#.eps"),
                       temp.File("si_param_#.gs"), temp.File("si_param_#.out"), GhostscriptRunner(&captures));
  // A background that fails the way eps2write's would: its own handler, then an error.
  WriteTextFile(temp.File("bad_full.eps"),
                "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 612 792\n"
                "errordict /handleerror { (handled quietly) = flush } put\n1 0 div\n");
  CutAtShowpage(temp.File("bad_full.eps"), temp.File("bad_1.eps"));

  const std::string document = temp.File("doc.ps");
  test::MakeMultiPageDocument(3, document);
  const std::string failing = temp.File("failing.ps");
  WriteTextFile(failing, test::ReadAll(document) + "\nnimbra_no_such_operator\n");
  const std::string header = temp.File("header.ps");
  ASSERT_TRUE(WritePostScriptHeader(header, *settings, true));
  const struct {
    const char* name;
    const char* epsPattern;
    std::string document;
    const char* error;
  } cases[] = {
      {"error after", "si_#.eps", failing, "Error: /undefined in nimbra_no_such_operator"},
      {"error inside", "bad_#.eps", document, "Error: /undefinedresult in /NimbraBackground"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string patched = temp.File("patched.ps");
    PatchPostScriptFile(*settings, temp.File(c.epsPattern), patched, c.document);
    const std::string out = temp.File("out.out");
    EXPECT_NE(test::RunPdfwrite({header, patched}, temp.File("out.pdf"), out), 0);
    const std::string output = test::ReadAll(out);
    EXPECT_NE(output.find(c.error), std::string::npos) << output;
    EXPECT_EQ(output.find("handled"), std::string::npos) << output;
  }
  // Without an error the same background and document still make all three pages.
  const std::string patched = temp.File("patched.ps");
  PatchPostScriptFile(*settings, temp.File("si_#.eps"), patched, document);
  EXPECT_EQ(test::RunPdfwrite({header, patched}, temp.File("out.pdf"), temp.File("out.out")), 0);
  EXPECT_EQ(test::PageMarkers(temp.File("out.out")), (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace nimbra
