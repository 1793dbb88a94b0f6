#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/files.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/env_guard.h"

namespace nimbra {
namespace {

using test_support::ScopedEnv;
using test_support::ScratchFolder;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

// The state letter of /proc/<pid>/stat ('Z' for a zombie), or 0 when the process is gone.
char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 0;
  auto close = line.rfind(')');
  return close == std::string::npos || close + 2 >= line.size() ? 0 : line[close + 2];
}

// Waits until the process has been reaped (no longer exists at all); false after 10 s.
bool WaitUntilReaped(pid_t pid) {
  for (int i = 0; i < 1000; ++i) {
    if (ProcessState(pid) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(RunCommand, CapturesTheExitCode) {
  ScratchFolder dir;
  const std::pair<const char*, int> cases[] = {
      {"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}, {"false", 1},
      {"kill -TERM $$", 128 + SIGTERM},  // ended by a signal, reported as the shell does
      {"no-such-program-here 2>/dev/null", 127},
  };
  for (const auto& [command, code] : cases) {
    RunResult r = RunCommand(command, 10, dir.Path());
    EXPECT_FALSE(r.stillRunning) << command;
    EXPECT_EQ(r.exitCode, code) << command;
    EXPECT_GT(r.pid, 0);
    EXPECT_EQ(ProcessState(r.pid), 0) << "reaped: " << command;
  }
}

TEST(RunCommand, RunsInTheWorkingFolderWithRedirection) {
  ScratchFolder dir;
  const std::string folder = dir / "with blank 'and quote'";
  MkDirRecurse(folder);
  const std::string before = CurrentFolder();
  RunResult r = RunCommand("pwd > out.txt; echo discarded >/dev/null", 10, folder);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(folder + "/out.txt"), folder + "\n");
  EXPECT_EQ(CurrentFolder(), before);  // the caller's folder never changes
}

TEST(RunCommand, EmptyFolderMeansTheCurrentOne) {
  ScratchFolder dir;
  const std::string before = CurrentFolder();
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  RunResult r = RunCommand("pwd > here.txt", 10, "");
  ASSERT_EQ(::chdir(before.c_str()), 0);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(dir / "here.txt"), dir.Path() + "\n");
}

TEST(RunCommand, InheritsTheEnvironment) {
  ScratchFolder dir;
  ScopedEnv var("NIMBRA_PROCESS_TEST", "a b $c");
  RunCommand("printf %s \"$NIMBRA_PROCESS_TEST\" > env.txt", 10, dir.Path());
  EXPECT_EQ(ReadFileBytes(dir / "env.txt"), "a b $c");
}

// The shell must see each quoted text as exactly one word, unchanged.
TEST(ShellQuote, TheShellReadsBackTheSameWord) {
  ScratchFolder dir;
  const std::string texts[] = {"",       "plain",  "two words", "it's",   "'",
                               "$HOME",  "`id`",   "a\\b",     "\"q\"",  "a; echo b",
                               "*",      "line\nbreak"};
  for (const std::string& text : texts) {
    RunResult r = RunCommand("printf %s " + ShellQuote(text) + " > word.txt", 10, dir.Path());
    EXPECT_EQ(r.exitCode, 0) << text;
    EXPECT_EQ(ReadFileBytes(dir / "word.txt"), text) << text;
  }
}

TEST(RunCommand, MissingWorkingFolderFailsTheStart) {
  ScratchFolder dir;
  try {
    RunCommand("touch created", 10, dir / "missing");
    FAIL() << "a missing working folder must fail the start";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1000);
    EXPECT_EQ(e.Description(), "Error launching the command [touch created]");
  }
  EXPECT_FALSE(FileExists(dir / "created"));
  EXPECT_FALSE(FileExists("created"));
}

TEST(RunCommand, TimeoutZeroReturnsAtOnceAndTheChildIsReapedLater) {
  ScratchFolder dir;
  RunResult r = RunCommand("exec sleep 30", 0, dir.Path());
  EXPECT_TRUE(r.stillRunning);
  EXPECT_EQ(r.exitCode, 0);
  ASSERT_GT(r.pid, 0);
  EXPECT_NE(ProcessState(r.pid), 0);  // not killed
  ASSERT_EQ(::kill(r.pid, SIGKILL), 0);
  // Nobody here waits for it: without the background reaper it would stay a zombie.
  EXPECT_TRUE(WaitUntilReaped(r.pid)) << "state " << ProcessState(r.pid);
}

TEST(RunCommand, WaitEndsAfterTheTimeoutLettingEventsRun) {
  ScratchFolder dir;
  int pumped = 0;
  SetEventPump([&] { ++pumped; });
  RunResult r = RunCommand("exec sleep 30", 1, dir.Path());
  SetEventPump(nullptr);
  EXPECT_TRUE(r.stillRunning);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_GT(pumped, 0);
  ::kill(r.pid, SIGKILL);
  EXPECT_TRUE(WaitUntilReaped(r.pid));
}

TEST(RunCommand, LongCommandLines) {
  ScratchFolder dir;
  const std::string payload(100000, 'x');
  const std::string command = "printf %s " + payload + " > o";
  ASSERT_GE(command.size(), 100000u);
  RunResult r = RunCommand(command, 10, dir.Path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(ReadFileBytes(dir / "o"), payload);

  // Beyond what the kernel takes as one argument: a clean launch error, no crash.
  const std::string tooLong = "true " + std::string(1 << 20, 'y');
  try {
    RunCommand(tooLong, 10, dir.Path());
    FAIL() << "a 1 MB command line cannot be started";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1000);
    EXPECT_EQ(e.Description().rfind("Error launching the command [true yyy", 0), 0u);
  }
}

class ShellOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists("/usr/bin/xdg-open") && !FileExists("/bin/xdg-open")) {
      GTEST_SKIP() << "xdg-open is not installed";
    }
    // No desktop and no display: xdg-open uses its generic way, which ends with $BROWSER.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP",
                             "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"}) {
      env_.push_back(std::make_unique<ScopedEnv>(name, std::nullopt));
    }
    recorder_ = dir_ / "recorder.sh";
    WriteFileBytes(recorder_, "#!/bin/sh\nprintf '%s' \"$1\" > '" + dir_.Path() + "/opened'\n");
    ::chmod(recorder_.c_str(), 0755);
  }

  void UseBrowser(const std::string& browser) {
    env_.push_back(std::make_unique<ScopedEnv>("BROWSER", browser));
  }

  ScratchFolder dir_;
  std::string recorder_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(ShellOpenTest, HandsTheTargetOverAsOneArgument) {
  UseBrowser(recorder_);
  const std::string target = dir_ / "it's a $(touch pwned) file.zzqq";
  WriteFileBytes(target, "x");
  EXPECT_EQ(ShellOpenWithStatus(target), ShellOpenStatus::kOpened);
  EXPECT_EQ(ReadFileBytes(dir_ / "opened"), target);
  EXPECT_FALSE(FileExists(dir_ / "pwned"));
  EXPECT_FALSE(FileExists("pwned"));
}

TEST_F(ShellOpenTest, ANameStartingWithADashIsNotAnOption) {
  UseBrowser(recorder_);
  WriteFileBytes(dir_ / "-x.zzqq", "x");
  const std::string before = CurrentFolder();
  ASSERT_EQ(::chdir(dir_.Path().c_str()), 0);
  bool opened = ShellOpen("-x.zzqq");
  ASSERT_EQ(::chdir(before.c_str()), 0);
  EXPECT_TRUE(opened);
  EXPECT_EQ(ReadFileBytes(dir_ / "opened"), "./-x.zzqq");
}

TEST_F(ShellOpenTest, NoApplicationAndFailures) {
  UseBrowser("false");  // the only "application" fails: xdg-open has no way to open it
  WriteFileBytes(dir_ / "doc.zzqq", "x");
  EXPECT_EQ(ShellOpenWithStatus(dir_ / "doc.zzqq"), ShellOpenStatus::kNoAssociation);
  EXPECT_FALSE(ShellOpen(dir_ / "doc.zzqq"));
  // A missing file: xdg-open reports a failure of its own.
  EXPECT_EQ(ShellOpenWithStatus(dir_ / "missing.zzqq"), ShellOpenStatus::kFailed);
  EXPECT_FALSE(ShellOpen(""));
  EXPECT_EQ(ShellOpenWithStatus(""), ShellOpenStatus::kFailed);
}

TEST_F(ShellOpenTest, MissingXdgOpenIsAFailure) {
  ScopedEnv path("PATH", dir_.Path());
  EXPECT_EQ(ShellOpenWithStatus("/"), ShellOpenStatus::kFailed);
}

}  // namespace
}  // namespace nimbra
