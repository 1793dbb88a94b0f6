#include "settings/localisation.h"

#include <gtest/gtest.h>

#include "tests/support/file_bytes.h"
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "file_bytes_support.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/env_guard.h"
#include "tests/support/other_user.h"

namespace nimbra {
namespace {

using test_support::ScratchFolder;
using test_support::WriteFileBytes;


TEST(UnescapeLabel, ReplacesEscapes) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"plain text", "plain text"},
      {"two\\nlines", "two\r\nlines"},
      {"tab\\tgives a line break", "tab\r\ngives a line break"},
      {"back\\\\slash", "back\\slash"},
      {"\\x\\y", "xy"},
      {"ends with\\", "ends with"},
      {"\\\\n is no line break", "\\n is no line break"},
      {"\\\\\\n", "\\\r\n"},
      {"\\\xC3\xBC", "\xC3\xBC"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeLabel(c.in), c.out) << c.in;
}

class LocalisationTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.Set("NIMBRA_APP_FOLDER", app_.Path()); }
  void TearDown() override {
    // Leave an empty table behind for the next test.
    LoadLanguageFrom(empty_.Path());
  }
  void WriteLanguageFile(std::u16string_view text) {
    WriteFileBytes(app_ / "labels.txt", test_support::Utf16LeBytes(text));
  }

  ScratchFolder app_;
  ScratchFolder empty_;
  test_support::ScopedEnv env_;
};

TEST_F(LocalisationTest, TranslatesLabelledTexts) {
  WriteLanguageFile(
      u"\uFEFFfirst line carries the byte-order mark\r\n"
      u"L95=M\u00F6chten Sie das PDF-Dokument \u00F6ffnen?\r\n"
      u"L5 =never matches\r\n"
      u"L7=\r\n"
      u"L8=two\\nlines\r\n"
      u"L9=also\\ttwo\r\n"
      u"L10=first\r\n"
      u"L10=second\r\n"
      u"no equals sign here\r\n"
      u"L11= blanks stay \r\n"
      u"L\\\\12=escaped identifier\r\n"
      u"=empty identifier\r\n"
      u"L13=a=b");
  LoadLanguage();  // the application folder comes from NIMBRA_APP_FOLDER

  struct Case {
    std::string text;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"[L95]Do you want to open the PDF document?",
       "M\xC3\xB6" "chten Sie das PDF-Dokument \xC3\xB6" "ffnen?"},
      {"[L96]Not translated", "Not translated"},
      {"[L5]Identifier ends in a blank", "Identifier ends in a blank"},
      {"[L5 ]x", "never matches"},
      {"[L7]Empty translation falls back", "Empty translation falls back"},
      {"[L8]x", "two\r\nlines"},
      {"[L9]x", "also\r\ntwo"},
      {"[L10]x", "second"},
      {"[L11]x", " blanks stay "},
      {"[L\\12]x", "escaped identifier"},
      {"[L13]x", "a=b"},
      {"[]empty identifier looked up", "empty identifier"},
      {"[L95", "[L95"},
      {"[", "["},
      {"", ""},
      {"No label", "No label"},
      {" [L95]leading blank", " [L95]leading blank"},
      {"[l95]identifiers are case-sensitive", "identifiers are case-sensitive"},
  };
  for (const auto& c : cases) EXPECT_EQ(Localize(c.text), c.shown) << c.text;
  EXPECT_EQ(DialogCharset(), 0);
}

TEST_F(LocalisationTest, ByteOrderMarkBelongsToTheFirstLine) {
  WriteLanguageFile(u"\uFEFFL1=first\r\nL2=second\r\n");
  LoadLanguageFrom(app_.Path());
  EXPECT_EQ(Localize("[L1]default"), "default");
  EXPECT_EQ(Localize("[\xEF\xBB\xBFL1]default"), "first");
  EXPECT_EQ(Localize("[L2]default"), "second");
}

TEST_F(LocalisationTest, OddByteCountLosesOnlyTheLastByte) {
  WriteFileBytes(app_ / "labels.txt", test_support::Utf16LeBytes(u"L1=one\r\nL2=two") + "!");
  LoadLanguageFrom(app_.Path());
  EXPECT_EQ(Localize("[L1]x"), "one");
  EXPECT_EQ(Localize("[L2]x"), "two");
}

TEST_F(LocalisationTest, DialogCharsetFollowsTheLanguage) {
  struct Case {
    std::u16string file;
    int charset;
  };
  const std::vector<Case> cases = {
      {u"x\r\nWindowsLanguage=JPN\r\n", 128},
      {u"x\r\nWindowsLanguage=KOR\r\n", 130},
      {u"x\r\nWindowsLanguage=DEU\r\n", 0},
      {u"x\r\nWindowsLanguage=kor\r\n", 0},
      {u"x\r\nWindowsLanguage=KOR \r\n", 0},
      {u"x\r\nL1=KOR\r\n", 0},
  };
  for (const auto& c : cases) {
    WriteLanguageFile(c.file);
    LoadLanguageFrom(app_.Path());
    EXPECT_EQ(DialogCharset(), c.charset);
  }
  // Loading again without a file starts from scratch.
  std::filesystem::remove(app_ / "labels.txt");
  LoadLanguageFrom(app_.Path());
  EXPECT_EQ(DialogCharset(), 0);
  EXPECT_EQ(Localize("[WindowsLanguage]"), "");
}

TEST_F(LocalisationTest, LaterLoadReplacesTheWholeTable) {
  WriteLanguageFile(u"x\r\nL1=one\r\n");
  LoadLanguageFrom(app_.Path());
  EXPECT_EQ(Localize("[L1]d"), "one");
  WriteLanguageFile(u"x\r\nL2=two\r\n");
  LoadLanguageFrom(app_.Path());
  EXPECT_EQ(Localize("[L1]d"), "d");
  EXPECT_EQ(Localize("[L2]d"), "two");
}

TEST_F(LocalisationTest, DebugMarkerShowsMissingIdentifiers) {
  WriteLanguageFile(u"x\r\nL1=one\r\nL2=\r\n");
  LoadLanguageFrom(app_.Path());
  EXPECT_FALSE(IsDebugMode());
  EXPECT_EQ(Localize("[L3]missing"), "missing");

  WriteFileBytes(app_ / "debug.txt", "");
  EXPECT_TRUE(IsDebugMode());  // tested on every call, no reload needed
  EXPECT_EQ(Localize("[L1]d"), "one");
  EXPECT_EQ(Localize("[L2]empty"), "[L2]empty");
  EXPECT_EQ(Localize("[L3]missing"), "[L3]missing");
  EXPECT_EQ(Localize("plain"), "plain");

  // Only a file is the marker; a folder of that name is not.
  std::filesystem::remove(app_ / "debug.txt");
  std::filesystem::create_directory(app_ / "debug.txt");
  EXPECT_FALSE(IsDebugMode());
}

TEST_F(LocalisationTest, MissingLanguageFileShowsDefaults) {
  LoadLanguage();
  EXPECT_EQ(Localize("[L95]Do you want to open the PDF document?"),
            "Do you want to open the PDF document?");
  EXPECT_EQ(DialogCharset(), 0);
}

TEST_F(LocalisationTest, UnreadableLanguageFileRaisesTheReadersError) {
  WriteLanguageFile(u"x\r\nL1=one\r\n");
  ::chmod((app_ / "labels.txt").c_str(), 0600);
  ::chmod(app_.Path().c_str(), 0755);
  const std::string folder = app_.Path();
  int code = test_support::RunUnprivileged([&] {
    try {
      LoadLanguageFrom(folder);
    } catch (const Error& e) {
      // The table exists (empty) even though loading failed.
      return e.Number() == 75 && Localize("[L1]d") == "d" ? 0 : 1;
    }
    return 2;
  });
  EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace nimbra
