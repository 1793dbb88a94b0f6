#include <gtest/gtest.h>

#include "gui/postscript/page_setup.h"
#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_patch.h"
#include "platform/error.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::Fixture;
using test::MakeSettings;
using test::ReadAll;
using test::TempFolder;
using test::WriteAll;

// The patched text up to the document-information trailer that follows the document.
std::string WithoutTrailer(const std::string& patched) {
  const auto trailer = patched.rfind("% Document information\r\n");
  return trailer == std::string::npos ? patched : patched.substr(0, trailer);
}

std::string ReplaceLine(std::string text, const std::string& from, const std::string& to) {
  const auto at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(PatchPostScriptFile, KeepsEveryByteOfTheFixturesButTitleAndAuthor) {
  TempFolder temp;
  const DictionaryPtr settings = MakeSettings({{"title", "Quarterly report"}, {"author", "Jane"}});
  for (const char* name : {"plain.ps", "testpage.ps", "form_russian.ps"}) {
    const std::string patched = temp.File("patched.ps");
    PatchPostScriptFile(*settings, "", patched, Fixture(name));
    std::string expected = ReadAll(Fixture(name));
    const auto titleStart = expected.find("%%Title: ");
    expected.replace(titleStart, expected.find('\n', titleStart) - titleStart, "%%Title: Quarterly report");
    expected = ReplaceLine(expected, "%%For: (root)", "%%For: Jane");
    // The fixtures end with a Ctrl-D and no line end; the trailer starts on a line of its own.
    EXPECT_EQ(WithoutTrailer(ReadAll(patched)), expected + "\r\n") << name;
  }
}

TEST(PatchPostScriptFile, ReplacesHeaderCommentsOnlyBeforeTheFirstPage) {
  TempFolder temp;
  const std::string input = temp.File("in.ps");
  WriteAll(input,
           "%!PS-Adobe-3.0\n%%Title: old\n%%For: someone\n%%TITLE: other case\n%%Title: again\r\n"
           "%%Page: 1 1\n%%Title: inside\n%%For: inside\n");
  const DictionaryPtr settings = MakeSettings({{"title", "New (1)"}});
  PatchPostScriptFile(*settings, "", temp.File("out.ps"), input);
  EXPECT_EQ(WithoutTrailer(ReadAll(temp.File("out.ps"))),
            "%!PS-Adobe-3.0\n%%Title: New (1)\n%%For: \n%%TITLE: other case\n%%Title: New (1)\r\n"
            "%%Page: 1 1\n%%Title: inside\n%%For: inside\n");
}

TEST(PatchPostScriptFile, ALineBreakInTheTitleCannotEndTheComment) {
  TempFolder temp;
  WriteAll(temp.File("in.ps"), "%!PS\n%%Title: x\n");
  const DictionaryPtr settings = MakeSettings({{"title", "a\r\n/x 1 def"}});
  PatchPostScriptFile(*settings, "", temp.File("out.ps"), temp.File("in.ps"));
  EXPECT_EQ(WithoutTrailer(ReadAll(temp.File("out.ps"))), "%!PS\n%%Title: a  /x 1 def\n");
}

TEST(PatchPostScriptFile, CopiesLongLinesAndOddLineEndsUnchanged) {
  TempFolder temp;
  std::string input = "%!PS\r";
  input += std::string(3 * 1024 * 1024, 'x') + "\n";  // a line of 3 MB
  input += std::string("bin\0ary\x80\xFF", 10) + "\r\n\r\r\n\n%%EOF";
  WriteAll(temp.File("in.ps"), input);
  PatchPostScriptFile(*MakeSettings({}), "", temp.File("out.ps"), temp.File("in.ps"));
  const std::string patched = ReadAll(temp.File("out.ps"));
  EXPECT_EQ(WithoutTrailer(patched), input + "\r\n");
  EXPECT_TRUE(patched.ends_with("/DOCINFO pdfmark\r\n"));
}

TEST(PatchPostScriptFile, NamesTheStampUnderEveryPageOnlyForTheBottomLayer) {
  TempFolder temp;
  WriteAll(temp.File("in.ps"), "%!PS\n%%Page: 1 1\npage1\n%%Page: 2 2\npage2\n");
  const std::string call = PageDrawingCall(true);
  const struct {
    const char* layer;
    const char* text;
    bool inserted;
  } cases[] = {
      {"bottom", "Draft", true},  {"Bottom", "Draft", true}, {" bottom", "Draft", false},
      {"top", "Draft", false},    {"bottom", "", false},
  };
  for (const auto& c : cases) {
    const DictionaryPtr settings = MakeSettings({{"watermarklayer", c.layer}, {"watermarktext", c.text}});
    PatchPostScriptFile(*settings, "", temp.File("out.ps"), temp.File("in.ps"));
    const std::string expected =
        c.inserted ? "%!PS\n%%Page: 1 1\nnull\r\n" + call + "\r\npage1\n%%Page: 2 2\nnull\r\n" + call +
                         "\r\npage2\n"
                   : "%!PS\n%%Page: 1 1\npage1\n%%Page: 2 2\npage2\n";
    EXPECT_EQ(WithoutTrailer(ReadAll(temp.File("out.ps"))), expected) << c.layer << "/" << c.text;
  }
}

TEST(PatchPostScriptFile, InsertsTheBackgroundOfEachPageFromThePageMap) {
  TempFolder temp;
  WriteAll(temp.File("in.ps"), "%!PS\n%%Page: 1 1\np1\n%%Page: 2 2\np2\n%%Page: 3 3\np3\n");
  WriteAll(temp.File("si_1.eps"), "BACKGROUND-ONE\r\n");
  WriteAll(temp.File("si_2.eps"), "BACKGROUND-TWO");
  const DictionaryPtr settings = MakeSettings({{"superimpose", "a.pdf<1>b.pdf<3>"},
                                               {"watermarktext", "X"},
                                               {"watermarklayer", "bottom"}});
  PatchPostScriptFile(*settings, temp.File("si_#.eps"), temp.File("out.ps"), temp.File("in.ps"));
  const std::string with = PageDrawingCall(true) + "\r\n";
  EXPECT_EQ(WithoutTrailer(ReadAll(temp.File("out.ps"))),
            "%!PS\n%%Page: 1 1\nBACKGROUND-ONE\r\n" + with + "p1\n%%Page: 2 2\nnull\r\n" + with +
                "p2\n%%Page: 3 3\nBACKGROUND-TWO\r\n" + with + "p3\n");
}

TEST(PatchPostScriptFile, MissingBackgroundOrInputIsAFileError) {
  TempFolder temp;
  WriteAll(temp.File("in.ps"), "%!PS\n%%Page: 1 1\n");
  const DictionaryPtr settings = MakeSettings({{"superimpose", "a.pdf"}});
  for (const std::string& input : {temp.File("in.ps"), temp.File("missing.ps")}) {
    try {
      PatchPostScriptFile(*settings, temp.File("none_#.eps"), temp.File("out.ps"), input);
      FAIL() << "no error for " << input;
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), 53) << input;
    }
  }
}

TEST(PatchPostScriptFile, MoreThan32767PagesOverflow) {
  TempFolder temp;
  std::string input = "%!PS\n";
  for (int i = 0; i < 32768; ++i) input += "%%Page: x\n";
  WriteAll(temp.File("in.ps"), input);
  try {
    PatchPostScriptFile(*MakeSettings({}), "", temp.File("out.ps"), temp.File("in.ps"));
    FAIL() << "no overflow";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 6);
  }
  input.resize(input.size() - std::string("%%Page: x\n").size());
  WriteAll(temp.File("in.ps"), input);
  EXPECT_NO_THROW(PatchPostScriptFile(*MakeSettings({}), "", temp.File("out.ps"), temp.File("in.ps")));
}

TEST(PatchPostScriptFile, EndsWithTheJobsDocumentInformation) {
  TempFolder temp;
  WriteAll(temp.File("in.ps"), "%!PS\n%%Title: (x)\n");
  const DictionaryPtr settings = MakeSettings({{"title", "Отчёт"}, {"keywords", "k"}});
  PatchPostScriptFile(*settings, "", temp.File("out.ps"), temp.File("in.ps"));
  EXPECT_EQ(ReadAll(temp.File("out.ps")), "%!PS\n%%Title: Отчёт\n" + MakeDocInfoMark(*settings));
}

}  // namespace
}  // namespace nimbra
