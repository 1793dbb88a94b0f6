#include "gui/driver/page_number.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace nimbra {
namespace {

struct Case {
  const char* name;
  int page;
  const char* expected;
};

// Readable test names in the test lists.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name << " page " << c.page; }

class SubstitutePageNumberTest : public ::testing::TestWithParam<Case> {};

TEST_P(SubstitutePageNumberTest, ReplacesTheMacro) {
  const Case& c = GetParam();
  EXPECT_EQ(SubstitutePageNumber(c.name, c.page), c.expected) << c.name << " page " << c.page;
}

INSTANTIATE_TEST_SUITE_P(
    Names, SubstitutePageNumberTest,
    ::testing::Values(
        // The documented examples.
        Case{"doc<pageno>.png", 7, "doc7.png"}, Case{"doc<pageno,3>.png", 7, "doc007.png"},
        Case{"doc<pageno,3,_>.png", 7, "doc__7.png"}, Case{"doc<PageNo,3, >.png", 7, "doc  7.png"},
        Case{"doc<pageno,1>.png", 12, "doc12.png"},
        // A number as wide as the width, or wider, is neither padded nor cut.
        Case{"p<pageno,3>", 123, "p123"}, Case{"p<pageno,2>", 12345, "p12345"},
        // Any letter case; blanks around the parts; the fill is only the first character.
        Case{"/out/<PAGENO , 4 , xyz>.tif", 5, "/out/xxx5.tif"},
        // A fill character beyond ASCII is taken whole, not as its first byte.
        Case{"<pageno,3,\xC2\xB7>", 1, "\xC2\xB7\xC2\xB7" "1"},
        // The width is the number the second part starts with, at most four characters read.
        Case{"<pageno,3px>", 4, "004"}, Case{"<pageno,&H5>", 4, "00004"},
        Case{"<pageno,00003>", 4, "4"}, Case{"<pageno,abc>", 4, "4"},
        Case{"<pageno,-3>", 4, "4"}, Case{"<pageno,2.5>", 4, "04"},
        // Every macro in the name, each with its own format.
        Case{"a<pageno>-b<pageno,2>", 3, "a3-b03"},
        // No macro, an unclosed macro: the name as it is.
        Case{"plain.pdf", 3, "plain.pdf"}, Case{"doc<pageno,3.png", 3, "doc<pageno,3.png"},
        Case{"doc<page>.png", 3, "doc<page>.png"},
        // A later ">" closes the macro, whatever lies between.
        Case{"<PageNos>.png", 9, "9.png"}));

TEST(SubstitutePageNumber, StopsAfterOneHundredMacros) {
  std::string name;
  for (int i = 0; i < 101; ++i) name += "<pageno>";
  EXPECT_EQ(SubstitutePageNumber(name, 1), std::string(100, '1') + "<pageno>");
}

TEST(SubstitutePageNumber, WidthBeyondThirtyTwoBitsRaisesError1013) {
  try {
    SubstitutePageNumber("doc<pageno,1E99>.png", 7);
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kPageNumber);
    EXPECT_EQ(e.Description(),
              "Error in page no substitution 'doc<pageno,1E99>.png' page no 7. Error 6: Overflow");
  }
}

}  // namespace
}  // namespace nimbra
