#include "gui/driver/cleanup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>

#include "settings/folders.h"
#include "tests/driver/delivery_support.h"
#include "tests/support/scratch_folder.h"

namespace nimbra {
namespace {

using delivery_test::DeliveryEnvironment;
using delivery_test::FolderEntries;
using delivery_test::PathExists;
using test_support::ScratchFolder;
using delivery_test::UnwritableFolder;
using test_support::WriteFileBytes;

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new DeliveryEnvironment);

using Names = std::vector<std::string>;

// Sets the modification time of `path` (a link itself, not its target) to `days` ago.
void AgeDays(const std::string& path, double days) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - static_cast<time_t>(days * 86400);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// A temporary folder as runs leave it: the files of run "abc" (fresh), a fresh file of another
// run, stale files of any name, and things that are not regular files. Beside the folder lie
// files the clean-up must never reach, some of them named and aged like its own.
class CleanupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir(temp.c_str(), 0700);
    for (const char* name : {"abc_printer.log", "abc_patched.ps", "abc_printer.pdf",
                             "abc_trace.LOG", "other_printer.log", "3days.tmp", "_patched.ps"}) {
      WriteFileBytes(temp + "/" + name, "x");
    }
    AgeDays(temp + "/other_printer.log", 1);
    AgeDays(temp + "/3days.tmp", 3);

    // Outside the folder: must survive whatever the clean-up does.
    WriteFileBytes(root / "abc_outside.pdf", "keep");
    AgeDays(root / "abc_outside.pdf", 5);
    WriteFileBytes(root / "old_target", "keep");
    AgeDays(root / "old_target", 5);
    // Links into that world, named and aged like the files that are removed.
    ASSERT_EQ(::symlink((root / "abc_outside.pdf").c_str(), (temp + "/abc_link.pdf").c_str()), 0);
    ASSERT_EQ(::symlink((root / "old_target").c_str(), (temp + "/old_link").c_str()), 0);
    AgeDays(temp + "/abc_link.pdf", 5);
    AgeDays(temp + "/old_link", 5);
    // A subfolder with the run's prefix and stale content.
    ::mkdir((temp + "/abc_folder").c_str(), 0700);
    WriteFileBytes(temp + "/abc_folder/abc_inner.ps", "keep");
    AgeDays(temp + "/abc_folder/abc_inner.ps", 5);
    AgeDays(temp + "/abc_folder", 5);
  }

  void TearDown() override {
    // Whatever the case, nothing outside the folder was touched.
    EXPECT_TRUE(PathExists(root / "abc_outside.pdf"));
    EXPECT_TRUE(PathExists(root / "old_target"));
    EXPECT_EQ(FolderEntries(temp + "/abc_folder"), Names{"abc_inner.ps"});
  }

  ScratchFolder root;
  std::string temp = root / "temp";
  std::string stepLabel = "before";
};

struct CleanupCase {
  const char* label;
  const char* sessionId;
  bool debugMode;
  bool errorMode;
  bool debugMarker;
  Names remaining;
};

void PrintTo(const CleanupCase& c, std::ostream* os) { *os << c.label; }

class CleanupCaseTest : public CleanupTest, public ::testing::WithParamInterface<CleanupCase> {};

TEST_P(CleanupCaseTest, RemovesExactlyTheRightFiles) {
  const CleanupCase& c = GetParam();
  CleanupFolder(temp, c.sessionId, c.debugMode, c.errorMode, c.debugMarker, stepLabel);
  EXPECT_EQ(FolderEntries(temp), c.remaining);
  EXPECT_EQ(stepLabel.rfind("Cleanup: Delete temp files from old sessions", 0), 0u) << stepLabel;
}

// Links and the subfolder are never removed, so they are in every list.
INSTANTIATE_TEST_SUITE_P(
    Switches, CleanupCaseTest,
    ::testing::Values(
        CleanupCase{"success", "abc", false, false, false,
                    {"_patched.ps", "abc_folder", "abc_link.pdf", "old_link",
                     "other_printer.log"}},
        // The log of a failed run stays (".log" in any case).
        CleanupCase{"failure", "abc", false, true, false,
                    {"_patched.ps", "abc_folder", "abc_link.pdf", "abc_printer.log",
                     "abc_trace.LOG", "old_link", "other_printer.log"}},
        // The job's debug setting keeps the run's files; stale files still go.
        CleanupCase{"debug_setting", "abc", true, false, false,
                    {"_patched.ps", "abc_folder", "abc_link.pdf", "abc_patched.ps",
                     "abc_printer.log", "abc_printer.pdf", "abc_trace.LOG", "old_link",
                     "other_printer.log"}},
        // The debug marker keeps everything.
        CleanupCase{"debug_marker", "abc", false, false, true,
                    {"3days.tmp", "_patched.ps", "abc_folder", "abc_link.pdf", "abc_patched.ps",
                     "abc_printer.log", "abc_printer.pdf", "abc_trace.LOG", "old_link",
                     "other_printer.log"}},
        // Without a session id only the two-day rule applies: "_patched.ps" stays.
        CleanupCase{"no_session", "", false, false, false,
                    {"_patched.ps", "abc_folder", "abc_link.pdf", "abc_patched.ps",
                     "abc_printer.log", "abc_printer.pdf", "abc_trace.LOG", "old_link",
                     "other_printer.log"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(CleanupTest, FileJustYoungerThanTwoDaysStaysOneJustOlderGoes) {
  WriteFileBytes(temp + "/47h", "x");
  WriteFileBytes(temp + "/49h", "x");
  AgeDays(temp + "/47h", 47.0 / 24);
  AgeDays(temp + "/49h", 49.0 / 24);
  CleanupFolder(temp, "", false, false, false, stepLabel);
  EXPECT_TRUE(PathExists(temp + "/47h"));
  EXPECT_FALSE(PathExists(temp + "/49h"));
}

TEST_F(CleanupTest, FilesThatCannotBeDeletedAreIgnored) {
  UnwritableFolder locked(temp);
  if (!locked.Available()) GTEST_SKIP() << locked.SkipReason();
  if (FolderEntries(temp).empty()) {
    // A read-only file system mounted over the folder hides its files: put one on it first.
    locked.MakeWritable();
    WriteFileBytes(temp + "/abc_printer.pdf", "x");
    locked.MakeUnwritable();
  }
  const Names before = FolderEntries(temp);
  EXPECT_NO_THROW(CleanupFolder(temp, "abc", false, false, false, stepLabel));
  EXPECT_EQ(FolderEntries(temp), before);
}

TEST_F(CleanupTest, MissingOrUnnamedFolderIsNothingToDo) {
  EXPECT_NO_THROW(CleanupFolder(root / "no-such-folder", "abc", false, false, false, stepLabel));
  EXPECT_NO_THROW(CleanupFolder("", "abc", false, false, false, stepLabel));
}

// The whole clean-up as the run calls it: the user's temporary folder and the marker file in
// the application folder (both the test's own, see DeliveryEnvironment).
TEST(Cleanup, UsesTheUserTemporaryFolderAndTheMarkerInTheApplicationFolder) {
  const std::string temp = UserTempFolder();
  ASSERT_EQ(temp.rfind(DeliveryEnvironment::TempRoot(), 0), 0u) << temp;
  const std::string marker = DeliveryEnvironment::AppFolder() + "/debug.txt";

  WriteFileBytes(temp + "/run1_printer.pdf", "x");
  WriteFileBytes(marker, "");
  ASSERT_TRUE(IsDebugMode());
  std::string stepLabel;
  Cleanup("run1", false, false, stepLabel);
  EXPECT_TRUE(PathExists(temp + "/run1_printer.pdf"));

  ::unlink(marker.c_str());
  ASSERT_FALSE(IsDebugMode());
  Cleanup("run1", false, false, stepLabel);
  EXPECT_FALSE(PathExists(temp + "/run1_printer.pdf"));
  EXPECT_EQ(stepLabel.rfind("Cleanup: Delete temp files from old sessions", 0), 0u);
}

}  // namespace
}  // namespace nimbra
