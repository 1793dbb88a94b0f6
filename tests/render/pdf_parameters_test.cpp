// The parameter file of the PDF passes: lines, order, quoting, encryption placement, PDF/A.
#include "gui/render/pdf_parameters.h"

#include <gtest/gtest.h>

#include <sstream>

#include "gui/render/parameter_lines.h"
#include "platform/dictionary.h"
#include "platform/error.h"
#include "platform/files.h"
#include "render_world_support.h"

namespace nimbra {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class PdfParametersTest : public ::testing::Test {
 protected:
  // Writes the file for these settings and returns its lines; the font path line is checked
  // here and replaced by "<fonts>", since its folders depend on the machine.
  std::vector<std::string> Write(bool appendPass = false,
                                 std::vector<std::string> inputs = {"/t/s_header.ps",
                                                                    "/t/s_patched.ps"}) {
    const std::string file = world_.Path("params.gs");
    WritePdfParameters(file, "/t/s_printer.pdf", settings_, appendPass, "/t/s_params.out", inputs);
    const std::string text = test_support::ReadFileBytes(file);
    EXPECT_EQ(text.find('\r'), std::string::npos) << "line ends are LF only";
    EXPECT_EQ(text.back(), '\n') << "the last line is ended too";
    std::vector<std::string> lines = Lines(text);
    for (std::string& line : lines) {
      if (line.rfind("\"-sFONTPATH#", 0) == 0) {
        EXPECT_EQ(line.back(), '"');
        line = "<fonts>";
      }
    }
    return lines;
  }

  test::RenderWorld world_;
  Dictionary settings_;
};

TEST_F(PdfParametersTest, DefaultSettingsGiveThePlainRenderingPass) {
  EXPECT_EQ(Write(), (std::vector<std::string>{
                         "-q", "-dSAFER", "-dNOPAUSE", "-dBATCH", "\"-sstdout#/t/s_params.out\"",
                         "-sDEVICE#pdfwrite", "<fonts>", "\"-sOutputFile#/t/s_printer.pdf\"",
                         "-dCompatibilityLevel#1.6", "-c", "-f", "\"/t/s_header.ps\"",
                         "\"/t/s_patched.ps\""}));
}

TEST_F(PdfParametersTest, PresetIsWrittenInLowerCaseBeforeTheDevice) {
  settings_.Set("target", "Screen");
  const auto lines = Write();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[5], "-dPDFSETTINGS#/screen");
  EXPECT_EQ(lines[6], "-sDEVICE#pdfwrite");
}

TEST_F(PdfParametersTest, PdfaAddsItsLinesAndTheDefinitionFileBeforeTheInputs) {
  settings_.Set("pdfa", " YES ");
  const auto lines = Write();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[0], "-dPDFA");
  EXPECT_EQ(lines[1], "-sProcessColorModel=DeviceCMYK");
  EXPECT_EQ(lines[2], "-sColorConversionStrategy=CMYK");
  EXPECT_EQ(lines[3], "-q");
  EXPECT_EQ(lines[14], "\"" + PdfaDefinitionFile() + "\"");
  EXPECT_TRUE(PathExists(PdfaDefinitionFile())) << PdfaDefinitionFile();
  EXPECT_EQ(lines[15], "\"/t/s_header.ps\"");
}

TEST_F(PdfParametersTest, PdfaFlagIsTrimmedAndCaseInsensitiveOnly) {
  for (const auto& [value, expected] : std::vector<std::pair<std::string, bool>>{
           {"yes", true}, {"Yes ", true}, {"no", false}, {"", false}, {"y", false}}) {
    settings_.Set("pdfa", value);
    EXPECT_EQ(PdfaEnabled(settings_), expected) << "'" << value << "'";
  }
}

TEST_F(PdfParametersTest, EncryptionLinesFollowTheSettings) {
  struct Case {
    const char* owner;
    const char* user;
    const char* keyLength;
    const char* permissions;
    const char* expected;
  };
  for (const Case& c : {
           Case{"own", "usr", "128", "61632",
                "-sOwnerPassword#own\n-sUserPassword#usr\n-dEncryptionR#3\n-dKeyLength#128\n"
                "-dPermissions#61632\n"},
           Case{"own", "", "40", "", "-sOwnerPassword#own\n-dEncryptionR#3\n-dKeyLength#40\n"},
           Case{"own", "", "", "63700", "-sOwnerPassword#own\n-dEncryptionR#3\n-dPermissions#63700\n"},
           // Ghostscript splits a bare value at blanks: such a value is quoted as a whole.
           Case{"my secret", "a\"b", "", "",
                "\"-sOwnerPassword#my secret\"\n\"-sUserPassword#a\"b\"\n-dEncryptionR#3\n"},
       }) {
    settings_.Set("ownerpassword", c.owner);
    settings_.Set("userpassword", c.user);
    settings_.Set("keylength", c.keyLength);
    settings_.Set("permissions", c.permissions);
    EXPECT_TRUE(EncryptionEnabled(settings_));
    EXPECT_EQ(EncryptionParameters(settings_), c.expected);
  }
}

TEST_F(PdfParametersTest, UserPasswordAloneDoesNotEncrypt) {
  settings_.Set("userpassword", "usr");
  EXPECT_FALSE(EncryptionEnabled(settings_));
  for (const std::string& line : Write()) EXPECT_EQ(line.find("Password"), std::string::npos) << line;
}

TEST_F(PdfParametersTest, EncryptionGoesIntoTheAppendPassWhenOneFollows) {
  settings_.Set("ownerpassword", "own");
  const auto contains = [](const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  // No append pass: the rendering pass encrypts, right after the preset and before the device.
  auto lines = Write();
  ASSERT_TRUE(contains(lines, "-sOwnerPassword#own"));
  EXPECT_EQ(lines[5], "-sOwnerPassword#own");
  EXPECT_EQ(lines[6], "-dEncryptionR#3");
  EXPECT_EQ(lines[7], "-sDEVICE#pdfwrite");

  settings_.Set("mergefile", "  /docs/existing.pdf ");
  EXPECT_FALSE(contains(Write(false), "-sOwnerPassword#own"));
  EXPECT_TRUE(contains(Write(true, {"/t/me.ps", "/a.pdf", "/b.pdf"}), "-sOwnerPassword#own"));

  settings_.Set("mergefile", "   ");  // blank counts as none
  EXPECT_TRUE(contains(Write(false), "-sOwnerPassword#own"));
}

TEST_F(PdfParametersTest, AppendPassListsItsThreeInputsInOrder) {
  const auto lines = Write(true, {"/t/s_mergeheader.ps", "/old file.pdf", "/t/s_printer.pdf"});
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"\"/t/s_mergeheader.ps\"", "\"/old file.pdf\"",
                                      "\"/t/s_printer.pdf\""}));
}

TEST_F(PdfParametersTest, PathsWithBlanksAndQuotesAreQuotedAsAWhole) {
  EXPECT_EQ(QuotedArgument("-sOutputFile#", "/a b/it's \"x\".pdf"),
            "\"-sOutputFile#/a b/it's \"x\".pdf\"");
  EXPECT_EQ(ValueArgument("-sDEVICE#", "pdfwrite"), "-sDEVICE#pdfwrite");
}

TEST_F(PdfParametersTest, LineBreakInAnArgumentIsRefused) {
  // It would smuggle a second argument (say -dNOSAFER) into Ghostscript's list.
  settings_.Set("ownerpassword", "x\n-dNOSAFER");
  EXPECT_THROW(EncryptionParameters(settings_), Error);
  settings_.Set("ownerpassword", "");
  try {
    Write(false, {"/t/evil\n-dNOSAFER.ps"});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kGeneral);
  }
}

TEST_F(PdfParametersTest, RewritingReplacesTheWholeFile) {
  settings_.Set("pdfa", "yes");
  const std::size_t longer = Write().size();
  settings_.Set("pdfa", "no");
  EXPECT_LT(Write().size(), longer);
}

}  // namespace
}  // namespace nimbra
