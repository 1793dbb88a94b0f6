#include <gtest/gtest.h>

#include "gui/postscript/postscript_properties.h"
#include "platform/error.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::Fixture;
using test::TempFolder;
using test::WriteAll;

TEST(ReadDocumentProperties, DecodesTheCommentsOfCupsDocuments) {
  const struct {
    const char* file;
    const char* title;
  } cases[] = {
      {"form_russian.ps", "Форма заявки"},
      {"plain.ps", "notes.txt"},
      {"testpage.ps", "Test page"},
  };
  for (const auto& c : cases) {
    const DictionaryPtr properties = ReadDocumentProperties(Fixture(c.file));
    EXPECT_EQ(properties->Item("title"), c.title) << c.file;
    EXPECT_EQ(properties->Item("author"), "root") << c.file;
    EXPECT_TRUE(properties->Item("creationdate").starts_with("D:2026")) << c.file;
  }
}

TEST(ReadDocumentProperties, ReadsPlainValuesAnyCaseAndAnyLineEnd) {
  TempFolder temp;
  const std::string file = temp.File("doc.ps");
  // CR-only, LF-only and CR LF line ends; keywords in other letter cases; the later one wins.
  WriteAll(file, "%!PS\r%%TITLE:  First \n%%for: (Jane \\(QA\\))\r\n%%Title: Report\r"
                 "%%CreationDate: D:20260101\n");
  const DictionaryPtr properties = ReadDocumentProperties(file);
  EXPECT_EQ(properties->Item("title"), "Report");
  EXPECT_EQ(properties->Item("author"), "Jane (QA)");
  EXPECT_EQ(properties->Item("creationdate"), "D:20260101");
  EXPECT_EQ(properties->Count(), 3u);
}

TEST(ReadDocumentProperties, SearchesOnlyTheFirstThousandLines) {
  TempFolder temp;
  std::string text = "%%Title: early\n";
  for (int i = 2; i <= 1000; ++i) text += "%\n";
  text += "%%Title: late\n%%For: late\n";  // lines 1001 and 1002
  WriteAll(temp.File("doc.ps"), text);
  const DictionaryPtr properties = ReadDocumentProperties(temp.File("doc.ps"));
  EXPECT_EQ(properties->Item("title"), "early");
  EXPECT_FALSE(properties->Exists("author"));
}

TEST(ReadDocumentProperties, MissingFileIsError53) {
  TempFolder temp;
  try {
    ReadDocumentProperties(temp.File("missing.ps"));
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 53);
  }
  EXPECT_THROW(GetPageCount(temp.File("missing.ps")), Error);
}

TEST(GetPageCount, CountsPageCommentsExactly) {
  TempFolder temp;
  WriteAll(temp.File("doc.ps"), "%!PS\n%%Pages: 3\n%%Page: 1 1\nx\r\n%%page: 2 2\n%%Page: 2 2\r"
                                " %%Page: 3 3\n%%PageTrailer\n%%Page: 3 3");
  EXPECT_EQ(GetPageCount(temp.File("doc.ps")), 3);
  EXPECT_EQ(GetPageCount(Fixture("plain.ps")), 1);
}

}  // namespace
}  // namespace nimbra
