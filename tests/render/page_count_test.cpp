// Page progress from a Ghostscript capture file.
#include "gui/render/page_count.h"

#include <gtest/gtest.h>

#include <fstream>

#include "render_world_support.h"

namespace nimbra {
namespace {

struct PageCase {
  const char* name;
  std::string text;
  int expected;
};

class PageCountFromTextTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageCountFromTextTest, FindsTheLastCompleteMarker) {
  EXPECT_EQ(PageCountFromText(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Markers, PageCountFromTextTest,
    ::testing::Values(
        PageCase{"Empty", "", 0},
        PageCase{"NoMarker", "GPL Ghostscript output\nwithout pages\n", 0},
        PageCase{"One", "%%[Page: 1]%%\n", 1},
        PageCase{"LastOfSeveral", "%%[Page: 1]%%\n%%[Page: 2]%%\n%%[Page: 3]%%\n", 3},
        PageCase{"LastMarkerCutOff", "%%[Page: 3]%%\n%%[Page: 4", 3},
        PageCase{"OnlyMarkerCutOff", "%%[Page: 4", 0},
        PageCase{"BlanksInNumber", "%%[Page:  12 ]%%", 12},
        PageCase{"OtherTextAround", "Loading font\n%%[Page: 7]%%\nwarning: something\n", 7},
        PageCase{"MarkerWithoutNumberFallsBack", "%%[Page: 5]%%\n%%[Page: x]%%\n", 5},
        PageCase{"LargeNumber", "%%[Page: 32768]%%", 32768}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadPageCountTest, MissingOrUnreadableFileGivesZero) {
  test::RenderWorld world;
  EXPECT_EQ(ReadPageCount(world.Path("missing.out")), 0);
  EXPECT_EQ(ReadPageCount(world.Root()), 0);  // a folder
}

TEST(ReadPageCountTest, ReadsOnlyTheLast1000Bytes) {
  test::RenderWorld world;
  const std::string capture = world.Path("capture.out");
  // A marker followed by 1000 bytes of other output is out of reach; one within them is found.
  test_support::WriteFileBytes(capture, "%%[Page: 9]%%\n" + std::string(1000, 'x'));
  EXPECT_EQ(ReadPageCount(capture), 0);
  test_support::WriteFileBytes(capture, std::string(5000, 'x') + "%%[Page: 9]%%\n" + std::string(980, 'y'));
  EXPECT_EQ(ReadPageCount(capture), 9);
}

TEST(ReadPageCountTest, FollowsAFileThatIsStillBeingWritten) {
  test::RenderWorld world;
  const std::string capture = world.Path("capture.out");
  std::ofstream writer(capture, std::ios::binary);
  writer << "%%[Page: 1]%%\n%%[Page: 2" << std::flush;
  EXPECT_EQ(ReadPageCount(capture), 1);
  writer << "]%%\n" << std::flush;
  EXPECT_EQ(ReadPageCount(capture), 2);
}

}  // namespace
}  // namespace nimbra
