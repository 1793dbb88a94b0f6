#include "settings/log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/system_info.h"
#include "file_bytes_support.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/env_guard.h"
#include "settings/folders.h"

namespace nimbra {
namespace {

using test_support::ReadFileBytes;
using test_support::ScratchFolder;

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("TMPDIR", dir_.Path());
    env_.Set("NIMBRA_REGISTRY", dir_ / "registry.reg");
    ResetFolderCacheForTesting();
    ResetLogStateForTesting();
    SetLogSessionId("0f8fad5b-d9cb-469f-a165-70867728950e");
  }
  void TearDown() override {
    SetEventPump(nullptr);
    ResetLogStateForTesting();
    ResetFolderCacheForTesting();
  }

  ScratchFolder dir_;
  test_support::ScopedEnv env_;
};

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST_F(LogTest, FileNameIsTheSessionsLogInTheTemporaryFolder) {
  const std::string expected =
      UserTempFolder() + "/0f8fad5b-d9cb-469f-a165-70867728950e_printer.log";
  EXPECT_EQ(LogFileName(), dir_ / "Varnell inc./PDF Printer/0f8fad5b-d9cb-469f-a165-70867728950e_printer.log");
  EXPECT_EQ(LogFileName(), expected);
  SetLogSessionId("other");
  EXPECT_EQ(LogFileName(), expected);  // kept for the process

  ResetLogStateForTesting();
  EXPECT_EQ(LogFileName(), UserTempFolder() + "/_printer.log");  // no session id
}

TEST_F(LogTest, LinesCarryTimeComputerAndUser) {
  const std::string before = FormatTimestamp(std::chrono::system_clock::now());
  WriteLog("Ghostscript");
  WriteLog("first line\r\ncontinuation line");
  const std::string after = FormatTimestamp(std::chrono::system_clock::now());

  const std::vector<std::string> lines = SplitCrLf(ReadFileBytes(LogFileName()));
  ASSERT_EQ(lines.size(), 3u);
  const std::string tail = ", " + ComputerName() + ", " + UserName() + ": ";
  for (int i : {0, 1}) {
    const std::string& line = lines[i];
    ASSERT_GT(line.size(), 19u);
    const std::string stamp = line.substr(0, 19);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    EXPECT_EQ(line.substr(19, tail.size()), tail);
  }
  EXPECT_EQ(lines[0].substr(19 + tail.size()), "Ghostscript");
  EXPECT_EQ(lines[1].substr(19 + tail.size()), "first line");
  EXPECT_EQ(lines[2], "continuation line");  // no time stamp of its own
  EXPECT_EQ(ReadFileBytes(LogFileName()).substr(ReadFileBytes(LogFileName()).size() - 2), "\r\n");

  EXPECT_EQ(FormatLogLine("x").substr(19), tail + "x\r\n");
}

TEST_F(LogTest, ResetLogRemovesTheOldLog) {
  ResetLog();  // nothing there: no error
  WriteLog("old");
  ResetLog();
  EXPECT_FALSE(scratch::Exists(LogFileName()));
  WriteLog("new");
  EXPECT_EQ(SplitCrLf(ReadFileBytes(LogFileName())).size(), 1u);
}

// In the user's private temporary folder any file can be deleted; what cannot is a folder
// standing under the log's name.
TEST_F(LogTest, ResetLogFailureCarriesTheSystemsNumber) {
  std::filesystem::create_directories(LogFileName() + "/inside");
  try {
    ResetLog();
    FAIL() << "expected an error";
  } catch (const Error& e) {
    const long number = ErrorNumberFromErrno(EISDIR);
    EXPECT_EQ(e.Number(), number);
    EXPECT_EQ(e.Description(), "Error removing old log file. Error " + std::to_string(number) +
                                   ": " + SystemErrorText(EISDIR));
  }
}

TEST_F(LogTest, UnwritableLogRaisesAfterRetrying) {
  SetLogOpenTimeoutForTesting(std::chrono::milliseconds(350));
  int pumped = 0;
  SetEventPump([&] { ++pumped; });
  std::filesystem::create_directories(LogFileName());

  const auto start = std::chrono::steady_clock::now();
  try {
    WriteLog("lost");
    FAIL() << "expected an error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), ErrorNumberFromErrno(EISDIR));
    EXPECT_EQ(e.Description(), "Unable to open and append to the log file '" + LogFileName() +
                                   "'. " + SystemErrorText(EISDIR));
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(350));
  EXPECT_GE(pumped, 3);  // events ran between the attempts

  pumped = 0;
  SetLogOpenTimeoutForTesting(std::chrono::milliseconds(0));
  EXPECT_FALSE(TryWriteLog("the error handler's own line"));
  EXPECT_GE(pumped, 1);
}

TEST_F(LogTest, OpenRetrySucceedsOnceTheLogIsFree) {
  SetLogOpenTimeoutForTesting(std::chrono::milliseconds(5000));
  std::filesystem::create_directories(LogFileName());
  int pumped = 0;
  const std::string blocker = LogFileName();
  // The third attempt finds the file free: the line is written, no error.
  SetEventPump([&] {
    if (++pumped == 3) std::filesystem::remove(blocker);
  });
  EXPECT_TRUE(TryWriteLog("after the wait"));
  EXPECT_EQ(pumped, 3);
  EXPECT_NE(ReadFileBytes(LogFileName()).find(": after the wait\r\n"), std::string::npos);
}

TEST_F(LogTest, ConcurrentJobsWriteTheirOwnLogs) {
  const std::vector<std::string> sessions = {"aaaaaaaa-0000-4000-8000-000000000001",
                                             "bbbbbbbb-0000-4000-8000-000000000002"};
  std::vector<pid_t> children;
  for (const auto& session : sessions) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ResetLogStateForTesting();
      SetLogSessionId(session);
      bool ok = true;
      for (int i = 0; i < 200; ++i) ok = TryWriteLog(session + " line " + std::to_string(i)) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const auto& session : sessions) {
    const auto lines = SplitCrLf(ReadFileBytes(UserTempFolder() + "/" + session + "_printer.log"));
    ASSERT_EQ(lines.size(), 200u) << session;
    for (int i = 0; i < 200; ++i) {
      const std::string want = ": " + session + " line " + std::to_string(i);
      EXPECT_EQ(lines[i].substr(lines[i].size() - want.size()), want);
    }
  }
}

}  // namespace
}  // namespace nimbra
