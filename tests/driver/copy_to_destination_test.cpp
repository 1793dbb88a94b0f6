#include "gui/driver/copy_to_destination.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "tests/driver/delivery_support.h"
#include "tests/support/scratch_folder.h"

namespace nimbra {
namespace {

using namespace std::chrono_literals;
using delivery_test::CountLogLines;
using delivery_test::DeliveryEnvironment;
using delivery_test::EmptyLog;
using delivery_test::FolderEntries;
using delivery_test::PathExists;
using test_support::ReadFileBytes;
using delivery_test::ScopedTmpfs;
using test_support::ScratchFolder;
using delivery_test::UnwritableFolder;
using delivery_test::WaitingUserInterface;
using test_support::WriteFileBytes;

[[maybe_unused]] auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new DeliveryEnvironment);

constexpr char kLockLine[] = "Error copying PDF to destination. Possible file lock.";
constexpr char kFailureLine[] = "Error copying PDF to destination (";
// Short retries for the cases that must run out of them.
constexpr CopyRetryTiming kShortRetries{300ms, 20ms};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

class CopyToDestinationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EmptyLog();
    source = dir / "job_printer.pdf";
    WriteFileBytes(source, "%PDF-1.4 new document");
    ::mkdir((dir / "out").c_str(), 0755);
    destination = dir / "out/Report.pdf";
  }

  ScratchFolder dir;
  std::string source;
  std::string destination;
  WaitingUserInterface ui;
};

TEST_F(CopyToDestinationTest, CopiesAndReplacesALongerFileCompletelyLeavingNothingElse) {
  WriteFileBytes(destination, std::string(50000, 'o'));
  ::chmod(destination.c_str(), 0640);

  EXPECT_TRUE(CopyToDestination(source, destination, false, ui));

  EXPECT_EQ(ReadFileBytes(destination), "%PDF-1.4 new document");
  // The replaced document keeps its permissions, and no temporary name is left behind.
  EXPECT_EQ(ModeOf(destination), 0640u);
  EXPECT_EQ(FolderEntries(dir / "out"), std::vector<std::string>{"Report.pdf"});
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(CountLogLines("Error copying"), 0);
}

TEST_F(CopyToDestinationTest, NewFileGetsTheModeTheUmaskAllows) {
  mode_t old = ::umask(027);
  bool copied = CopyToDestination(source, destination, false, ui);
  ::umask(old);
  ASSERT_TRUE(copied);
  EXPECT_EQ(ModeOf(destination), 0640u);
}

TEST_F(CopyToDestinationTest, ALinkAtTheDestinationStaysALinkAndItsFileIsReplaced) {
  const std::string real = dir / "real.pdf";
  WriteFileBytes(real, "old");
  ASSERT_EQ(::symlink(real.c_str(), destination.c_str()), 0);

  EXPECT_TRUE(CopyToDestination(source, destination, false, ui));

  struct stat st {};
  ASSERT_EQ(::lstat(destination.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFileBytes(real), "%PDF-1.4 new document");
}

TEST_F(CopyToDestinationTest, CopyOntoItselfKeepsTheContent) {
  EXPECT_TRUE(CopyToDestination(source, source, false, ui));
  EXPECT_EQ(ReadFileBytes(source), "%PDF-1.4 new document");
}

// Errors other than an access error fail at once: no retry, one failure line, then the
// question unless silent or headless.
struct ImmediateFailure {
  const char* name;
  bool silent;
  bool dialogs;
  int questions;
};

void PrintTo(const ImmediateFailure& c, std::ostream* os) { *os << c.name; }

class ImmediateFailureTest : public CopyToDestinationTest,
                             public ::testing::WithParamInterface<ImmediateFailure> {};

TEST_P(ImmediateFailureTest, MissingDestinationFolderFailsAtOnce) {
  const ImmediateFailure& c = GetParam();
  ui.dialogsAvailable = c.dialogs;
  const std::string nowhere = dir / "no-such-folder/Report.pdf";

  EXPECT_FALSE(CopyToDestination(source, nowhere, c.silent, ui));

  EXPECT_EQ(CountLogLines(kLockLine), 0);
  EXPECT_EQ(CountLogLines(std::string(kFailureLine) + source + " -> " + nowhere +
                          "). Error 53: "),
            1);
  EXPECT_EQ(ui.processEvents, 0) << "no waiting";
  ASSERT_EQ(static_cast<int>(ui.messages.size()), c.questions);
  if (c.questions > 0) {
    EXPECT_EQ(ui.messages[0].text,
              "Error copying PDF document to destination file.\n\nPlease close the file '" +
                  nowhere + "' if it is open and try again.");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::kExclamation);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::kRetryCancel);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, ImmediateFailureTest,
                         ::testing::Values(ImmediateFailure{"asks", false, true, 1},
                                           ImmediateFailure{"silent", true, true, 0},
                                           ImmediateFailure{"headless", false, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyToDestinationTest, MissingSourceFailsAtOnce) {
  EXPECT_FALSE(CopyToDestination(dir / "gone.pdf", destination, true, ui));
  EXPECT_EQ(CountLogLines(kLockLine), 0);
  EXPECT_EQ(CountLogLines("Error 53: "), 1);
  EXPECT_FALSE(PathExists(destination));
}

TEST_F(CopyToDestinationTest, UnwritableDestinationFailsAfterItsRetries) {
  UnwritableFolder locked(dir / "out");
  if (!locked.Available()) GTEST_SKIP() << locked.SkipReason();

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(CopyToDestination(source, destination, true, ui, kShortRetries));
  auto elapsed = std::chrono::steady_clock::now() - start;

  EXPECT_GE(elapsed, kShortRetries.window);
  // Every attempt that met the access error is logged, then the failure once.
  EXPECT_GE(CountLogLines(std::string(kLockLine) + " (" + source + " -> " + destination +
                          "). Error 75: "),
            3);
  EXPECT_EQ(CountLogLines(kFailureLine), 1);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(PathExists(destination));
}

TEST_F(CopyToDestinationTest, DestinationThatBecomesWritableDuringTheRetriesIsCopied) {
  UnwritableFolder locked(dir / "out");
  if (!locked.Available()) GTEST_SKIP() << locked.SkipReason();
  // The lock goes away while the copy waits (the viewer is closed), well inside the real
  // 10-second window.
  ui.onProcessEvents = [&] {
    if (ui.processEvents == 4) locked.MakeWritable();
  };

  EXPECT_TRUE(CopyToDestination(source, destination, false, ui));

  EXPECT_EQ(ReadFileBytes(destination), "%PDF-1.4 new document");
  EXPECT_GE(CountLogLines(kLockLine), 1);
  EXPECT_EQ(CountLogLines(kFailureLine), 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CopyToDestinationTest, RetryWhileStillLockedStartsOverAndCancelGivesUp) {
  UnwritableFolder locked(dir / "out");
  if (!locked.Available()) GTEST_SKIP() << locked.SkipReason();
  ui.messageAnswers = {MessageResult::kRetry, MessageResult::kCancel};

  EXPECT_FALSE(CopyToDestination(source, destination, false, ui, kShortRetries));

  // Retry gave a second round of retries and a second question, answered Cancel.
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(CountLogLines(kFailureLine), 2);
  EXPECT_GE(CountLogLines(kLockLine), 4);
}

TEST_F(CopyToDestinationTest, RetryAfterTheLockIsGoneCopies) {
  UnwritableFolder locked(dir / "out");
  if (!locked.Available()) GTEST_SKIP() << locked.SkipReason();
  // The person closes the viewer, then presses Retry.
  ui.onShowMessage = [&] { locked.MakeWritable(); };
  ui.messageAnswers = {MessageResult::kRetry};

  EXPECT_TRUE(CopyToDestination(source, destination, false, ui, kShortRetries));

  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ReadFileBytes(destination), "%PDF-1.4 new document");
}

TEST_F(CopyToDestinationTest, FullDiskFailsAtOnceAndKeepsTheExistingDestination) {
  ScopedTmpfs small(dir / "out", 64 * 1024, false);
  if (!small.Available()) GTEST_SKIP() << small.SkipReason();
  WriteFileBytes(destination, "previous document");
  WriteFileBytes(source, std::string(256 * 1024, 'p'));
  ui.messageAnswers = {MessageResult::kCancel};

  EXPECT_FALSE(CopyToDestination(source, destination, false, ui));

  EXPECT_EQ(ReadFileBytes(destination), "previous document");
  EXPECT_EQ(FolderEntries(dir / "out"), std::vector<std::string>{"Report.pdf"});
  EXPECT_EQ(CountLogLines(kLockLine), 0);
  EXPECT_EQ(CountLogLines("Error 28: No space left on device"), 1);
  EXPECT_EQ(ui.messages.size(), 1u);
}

}  // namespace
}  // namespace nimbra
