#include "gui/postscript/merge.h"

#include <gtest/gtest.h>

#include "gui/postscript/postscript_header.h"
#include "tests/postscript/postscript_support.h"

namespace nimbra {
namespace {

using test::MakeSettings;
using test::TempFolder;

TEST(Merge, EnabledByTheTrimmedFile) {
  EXPECT_FALSE(MergeEnabled(*MakeSettings({})));
  EXPECT_FALSE(MergeEnabled(*MakeSettings({{"mergefile", "   "}})));
  EXPECT_TRUE(MergeEnabled(*MakeSettings({{"mergefile", " /a/b.pdf "}})));
  EXPECT_EQ(MergeFile(*MakeSettings({{"mergefile", " /a/b.pdf "}})), "/a/b.pdf");
}

TEST(Merge, OrderByPosition) {
  const struct {
    const char* position;
    bool newFirst;
  } cases[] = {{"top", true}, {"TOP", true}, {" top", false}, {"Top ", false},
               {"bottom", false}, {"", false}, {"middle", false}};
  for (const auto& c : cases) {
    const MergeInputs inputs =
        MergeOrder(*MakeSettings({{"mergefile", " /old.pdf"}, {"mergeposition", c.position}}), "/new.pdf");
    EXPECT_EQ(inputs.first, c.newFirst ? "/new.pdf" : "/old.pdf") << c.position;
    EXPECT_EQ(inputs.second, c.newFirst ? "/old.pdf" : "/new.pdf") << c.position;
  }
}

TEST(Merge, AppendPassJoinsBothDocumentsInOrder) {
  TempFolder temp;
  // The existing file has two pages, the new one three.
  const std::string existingPs = temp.File("existing.ps");
  const std::string newPs = temp.File("new.ps");
  test::WriteAll(existingPs, "%!PS\n/Helvetica findfont 20 scalefont setfont\n"
                             "72 700 moveto (Old one) show showpage 72 700 moveto (Old two) show showpage\n");
  test::MakeMultiPageDocument(3, newPs);
  ASSERT_EQ(test::RunPdfwrite({existingPs}, temp.File("existing.pdf"), temp.File("e.out")), 0);
  ASSERT_EQ(test::RunPdfwrite({newPs}, temp.File("printer.pdf"), temp.File("n.out")), 0);

  for (const char* position : {"top", "bottom"}) {
    const DictionaryPtr settings = MakeSettings(
        {{"mergefile", temp.File("existing.pdf").c_str()}, {"mergeposition", position}, {"title", "Joined"},
         {"watermarktext", "Draft"}});
    const MergeInputs inputs = MergeOrder(*settings, temp.File("printer.pdf"));
    const std::string header = temp.File("mergeheader.ps");
    ASSERT_TRUE(WritePostScriptHeader(header, *settings, false));
    const std::string merged = temp.File("merge.pdf");
    ASSERT_EQ(test::RunPdfwrite({header, inputs.first, inputs.second}, merged, temp.File("me_param.out")), 0);
    EXPECT_EQ(test::PdfPages(merged), 5);
    EXPECT_EQ(test::PageMarkers(temp.File("me_param.out")), (std::vector<int>{1, 2, 3, 4, 5}));
    const std::string text = test::PdfText(merged);
    const auto oldAt = text.find("Old one");
    const auto newAt = text.find("Page 1");
    ASSERT_NE(oldAt, std::string::npos);
    ASSERT_NE(newAt, std::string::npos);
    EXPECT_EQ(newAt < oldAt, std::string(position) == "top") << position;
    EXPECT_EQ(text.find("Draft"), std::string::npos);  // the append pass adds no stamp
  }
}

}  // namespace
}  // namespace nimbra
