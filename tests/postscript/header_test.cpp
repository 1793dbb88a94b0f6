#include <gtest/gtest.h>

#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_string.h"
#include "gui/postscript/stamp.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::MakeSettings;
using test::ReadAll;
using test::SplitLines;
using test::TempFolder;

// The header after the page set-up: the DOCVIEW and DOCINFO lines.
std::vector<std::string> MarkLines(const Dictionary& settings, bool includeStamp) {
  const std::string header = MakePostScriptHeader(settings, includeStamp);
  const std::string setup = MakePageSetupProgram();
  const auto at = header.find(setup);
  EXPECT_NE(at, std::string::npos);
  return SplitLines(header.substr(at + setup.size()));
}

TEST(WritePostScriptHeader, WritesViewerSettingsAndDocumentInformation) {
  TempFolder temp;
  const DictionaryPtr settings = MakeSettings({{"usethumbs", "yes"}, {"zoom", "150"}, {"title", "Q3 (draft)"}});
  ASSERT_TRUE(WritePostScriptHeader(temp.File("header.ps"), *settings, true));
  const std::string header = ReadAll(temp.File("header.ps"));
  EXPECT_EQ(header, MakePostScriptHeader(*settings, true));
  EXPECT_EQ(MarkLines(*settings, true),
            (std::vector<std::string>{"[ ", "  /PageMode /UseThumbs", "  /Page 1 /View [/XYZ null null 1.5]",
                                      "  /DOCVIEW", "pdfmark", "% Document information",
                                      std::string("[/Producer ") + PostScriptString(kProducerText),
                                      "/Title (Q3 \\(draft\\))", "/DOCINFO pdfmark"}));
}

TEST(WritePostScriptHeader, ViewerEntries) {
  const struct {
    const char* zoom;
    const char* thumbs;
    std::string docview;
  } cases[] = {
      {"0", "no", ""},
      {"-5", "", ""},
      {"abc", "", ""},
      {"", " yes", ""},
      {" FitAll ", "", "[ \r\n  /Page 1 /View [/Fit]\r\n  /DOCVIEW\r\npdfmark\r\n"},
      {"100", "", "[ \r\n  /Page 1 /View [/XYZ null null 1]\r\n  /DOCVIEW\r\npdfmark\r\n"},
      {"50%", "YES", "[ \r\n  /PageMode /UseThumbs\r\n  /Page 1 /View [/XYZ null null .5]\r\n  /DOCVIEW\r\npdfmark\r\n"},
      {"33", "", "[ \r\n  /Page 1 /View [/XYZ null null .33]\r\n  /DOCVIEW\r\npdfmark\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MakeDocViewMark(*MakeSettings({{"zoom", c.zoom}, {"usethumbs", c.thumbs}})), c.docview)
        << c.zoom << "/" << c.thumbs;
  }
}

TEST(WritePostScriptHeader, InformationEntriesInTheirOrderAndUnicodeAsUtf16) {
  const DictionaryPtr settings = MakeSettings({{"author", "Jürgen"},
                                               {"keywords", "a, b"},
                                               {"subject", "Отчёт"},
                                               {"title", "T"},
                                               {"creator", "App"},
                                               {"moddate", "D:20260102"},
                                               {"creationdate", "D:20260101"}});
  EXPECT_EQ(SplitLines(MakeDocInfoMark(*settings)),
            (std::vector<std::string>{"% Document information", "[/CreationDate (D:20260101)",
                                      "/ModDate (D:20260102)", "/Creator (App)",
                                      std::string("/Producer ") + PostScriptString(kProducerText),
                                      "/Title (T)", "/Subject <FEFF041E0442044704510442>",
                                      "/Keywords (a, b)", "/Author <FEFF004A00FC007200670065006E>",
                                      "/DOCINFO pdfmark"}));
  EXPECT_EQ(SplitLines(MakeDocInfoMark(*MakeSettings({}))),
            (std::vector<std::string>{"% Document information",
                                      std::string("[/Producer ") + PostScriptString(kProducerText),
                                      "/DOCINFO pdfmark"}));
}

TEST(WritePostScriptHeader, PdfaKeepsOnlyTextGhostscriptCanPutIntoXmp) {
  const DictionaryPtr settings = MakeSettings({{"pdfa", " YES "},
                                               {"title", "Q3 (draft)"},
                                               {"author", "Jane"},
                                               {"subject", "Отчёт"},
                                               {"keywords", "a\\b"},
                                               {"creationdate", "D:20260101"}});
  EXPECT_EQ(SplitLines(MakeDocInfoMark(*settings)),
            (std::vector<std::string>{"% Document information", "[/CreationDate (D:20260101)",
                                      std::string("/Producer ") + PostScriptString(kProducerText),
                                      "/Author (Jane)", "/DOCINFO pdfmark"}));
}

TEST(WritePostScriptHeader, StampProgramOnlyWhenAskedForAndEnabled) {
  const DictionaryPtr on = MakeSettings({{"watermarktext", "Draft"}});
  const DictionaryPtr off = MakeSettings({{"watermarktext", "Draft"}, {"watermarkfontsize", "0"}});
  EXPECT_TRUE(MakePostScriptHeader(*on, true).starts_with(MakeStampProgram(*on)));
  EXPECT_TRUE(MakePostScriptHeader(*on, false).starts_with(MakePageSetupProgram()));
  EXPECT_TRUE(MakePostScriptHeader(*off, true).starts_with(MakePageSetupProgram()));
}

TEST(WritePostScriptHeader, UnwritablePathGivesFalse) {
  TempFolder temp;
  EXPECT_FALSE(WritePostScriptHeader(temp.File("missing/folder/header.ps"), *MakeSettings({}), true));
}

}  // namespace
}  // namespace nimbra
