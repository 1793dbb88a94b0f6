#include "gui/driver/status_file.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/driver/delivery_support.h"
#include "tests/support/scratch_folder.h"

namespace nimbra {
namespace {

using delivery_test::CountLogLines;
using delivery_test::DeliveryEnvironment;
using delivery_test::EmptyLog;
using delivery_test::PathExists;
using test_support::ReadFileBytes;
using test_support::ScratchFolder;
using test_support::WriteFileBytes;

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new DeliveryEnvironment);

// UTF-16LE of ASCII text, written out byte by byte so the test does not share the encoder.
std::string Utf16Ascii(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  return out;
}

class StatusFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EmptyLog();
    statusPath = dir / "status.txt";
    settings->Set("statusfile", statusPath);
    settings->Set("output", "/home/u/Desktop/Report.pdf");
  }
  ScratchFolder dir;
  std::string statusPath;
  DictionaryPtr settings = Dictionary::New();
};

TEST_F(StatusFileTest, SuccessWritesTheExactLinesInUtf16WithoutByteOrderMark) {
  WriteStatusFile(true, *settings, 3, 1, "  File1=/home/u/Desktop/Report.pdf");
  const std::string expected =
      "[Status]\r\n"
      "  Errors=0\r\n"
      "  PageCount=3\r\n"
      "  FileCount=1\r\n"
      "\r\n"
      "[Files]\r\n"
      "  File1=/home/u/Desktop/Report.pdf\r\n"
      "\r\n"
      "[PDF Printer]\r\n"
      "  statusfile=" + statusPath + "\r\n"
      "  output=/home/u/Desktop/Report.pdf\r\n";
  EXPECT_EQ(ReadFileBytes(statusPath), Utf16Ascii(expected));
  EXPECT_EQ(CountLogLines("Create status file " + statusPath), 1);
}

TEST_F(StatusFileTest, FailureWithoutFilesHasAnEmptyFileSection) {
  WriteStatusFile(false, *settings, 0, 0, "");
  std::string text = ReadFileBytes(statusPath);
  EXPECT_NE(text.find(Utf16Ascii("  Errors=1\r\n  PageCount=0\r\n  FileCount=0\r\n\r\n[Files]\r\n"
                                 "\r\n[PDF Printer]\r\n")),
            std::string::npos);
}

TEST_F(StatusFileTest, PageFilesAreListedOneLineEachWhateverTheLineBreak) {
  WriteStatusFile(true, *settings, 2, 3, "  File1=/o/a-1.png\n  File2=/o/a-2.png\r\n  File3=/o/a-3.png");
  EXPECT_NE(ReadFileBytes(statusPath)
                .find(Utf16Ascii("[Files]\r\n  File1=/o/a-1.png\r\n  File2=/o/a-2.png\r\n"
                                 "  File3=/o/a-3.png\r\n\r\n[PDF Printer]")),
            std::string::npos);
}

TEST_F(StatusFileTest, ReplacesALongerPreviousFileCompletely) {
  WriteFileBytes(statusPath, std::string(100000, 'x'));
  WriteStatusFile(true, *settings, 1, 1, "  File1=a");
  std::string text = ReadFileBytes(statusPath);
  EXPECT_EQ(text.find("xxxx"), std::string::npos);
  EXPECT_LT(text.size(), 1000u);
  EXPECT_EQ(text.substr(text.size() - 4), Utf16Ascii("\r\n"));
}

TEST_F(StatusFileTest, PathIsTrimmedAndEmptySettingWritesNothing) {
  settings->Set("statusfile", "  " + statusPath + "  ");
  WriteStatusFile(true, *settings, 1, 1, "");
  EXPECT_TRUE(PathExists(statusPath));

  EmptyLog();
  settings->Set("statusfile", "   ");
  WriteStatusFile(true, *settings, 1, 1, "");
  EXPECT_EQ(CountLogLines("Create status file"), 0);
}

TEST_F(StatusFileTest, TextBeyondAsciiIsWrittenAsUtf16) {
  settings->Set("title", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");  // é € and an emoji
  WriteStatusFile(true, *settings, 1, 1, "");
  const std::string bytes = ReadFileBytes(statusPath);
  const std::string expected = Utf16Ascii("  title=Caf") + std::string("\xE9\x00", 2) +
                               Utf16Ascii(" ") + std::string("\xAC\x20", 2) + Utf16Ascii(" ") +
                               std::string("\x3D\xD8\x00\xDE", 4) + Utf16Ascii("\r\n");
  EXPECT_NE(bytes.find(expected), std::string::npos);
}

TEST_F(StatusFileTest, UnwritablePathRaisesWithTheDocumentedDescription) {
  const std::string missing = dir / "no-such-folder/status.txt";
  settings->Set("statusfile", missing);
  try {
    WriteStatusFile(false, *settings, 0, 0, "");
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
    EXPECT_EQ(e.Source(), "WriteStatusFile");
    EXPECT_EQ(e.Description().rfind("Error writing status file '" + missing + "'. Error 53: ", 0),
              0u)
        << e.Description();
  }
}

}  // namespace
}  // namespace nimbra
