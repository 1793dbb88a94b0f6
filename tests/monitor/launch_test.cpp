// Starting gui: its place, its command line, waiting, messages and the user's environment.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "monitor/launch.h"
#include "monitor/monitor.h"
#include "monitor/monitor_log.h"
#include "monitor/user_account.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLogFileNameForTesting(); }
  std::string Record(const char* name) { return ReadAll(scratch_ / (std::string("record/") + name)); }
  bool WaitDone() { return WaitForOutput((scratch_ / "record/done").c_str(), 20000) == 1; }

  ScratchFolder scratch_;
  TestRegistry registry_{scratch_};
};

TEST_F(LaunchTest, GuiPathHasOneSlashWhateverTheAppFolderEndsWith) {
  WriteRecordingGui(scratch_ / "app", scratch_ / "record");
  for (std::string folder : {scratch_ / "app", scratch_ / "app/"}) {
    ::unlink((scratch_ / "record/done").c_str());
    registry_.SetAppFolder(folder);
    ASSERT_TRUE(RunGUI("a=1", 0));
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Record("prog"), scratch_ / "app/gui");
    EXPECT_EQ(Record("arg"), "a=1");
  }
}

TEST_F(LaunchTest, MissingAppFolderOrProgramFails) {
  EXPECT_FALSE(RunGUI("a=1", 0));
  registry_.SetAppFolder(scratch_ / "absent");
  EXPECT_FALSE(RunGUI("a=1", 0));
  EXPECT_FALSE(RunGUI("a=1", -1));
}

TEST_F(LaunchTest, WaitingEndsAProgramThatRunsTooLong) {
  WriteRecordingGui(scratch_ / "app", scratch_ / "record", /*sleepSeconds=*/30);
  registry_.SetAppFolder(scratch_ / "app");
  EXPECT_FALSE(RunGUI("slow", 300));
  ASSERT_EQ(WaitForOutput((scratch_ / "record/pid").c_str(), 5000), 1);
  const pid_t pid = std::stoi(Record("pid"));
  // The program was ended and reaped: no such process remains.
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(Exists(scratch_ / "record/done"));
}

TEST_F(LaunchTest, WaitingWithoutLimitReturnsWhenTheProgramHasEnded) {
  WriteRecordingGui(scratch_ / "app", scratch_ / "record");
  registry_.SetAppFolder(scratch_ / "app");
  ASSERT_TRUE(RunGUI("x", -1));
  EXPECT_TRUE(Exists(scratch_ / "record/done"));
}

TEST_F(LaunchTest, MessagesPassQuotesDoubledAndLineBreaksAsTheyAre) {
  WriteRecordingGui(scratch_ / "app", scratch_ / "record");
  registry_.SetAppFolder(scratch_ / "app");
  ASSERT_TRUE(GUIMessage("Say \"hi\"\nnow", MonitorIcon::kError, -1));
  EXPECT_EQ(Record("arg"), "msg=\"Say \"\"hi\"\"\nnow\", icon=\"error\"");
  struct {
    int icon;
    const char* word;
  } icons[] = {{16, "error"}, {48, "exclamation"}, {64, "information"}, {32, "information"}};
  for (auto& c : icons) EXPECT_EQ(IconWord(c.icon), c.word) << c.icon;
}

TEST_F(LaunchTest, AddAndConfigurePortShowTheirMessagesThroughGui) {
  WriteRecordingGui(scratch_ / "app", scratch_ / "record");
  registry_.SetAppFolder(scratch_ / "app");
  MonitorEx* monitor = InitializePrintMonitor(kPortsRegistryRoot);
  struct {
    std::function<bool()> call;
    const char* arg;
  } cases[] = {
      {[&] { return monitor->Monitor.pfnAddPort(nullptr, nullptr, nullptr); },
       "msg=\"You cannot add a new port of this type. Please use the existing one.\", "
       "icon=\"exclamation\""},
      {[&] { return monitor->Monitor.pfnConfigurePort(nullptr, nullptr, "TVPDF29"); },
       "msg=\"This port cannot be configured.\", icon=\"information\""},
      {[&] { return monitor->Monitor.pfnDeletePort(nullptr, nullptr, "NONE"); },
       "msg=\"An unknown error has occurred\n\nCouldn't remove the port.\", icon=\"error\""},
  };
  for (auto& c : cases) {
    ::unlink((scratch_ / "record/done").c_str());
    EXPECT_TRUE(c.call());
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(Record("arg"), c.arg);
  }
  MonitorAttach();
}

TEST(UserEnvironment, VariablesAreFoundByTheirExactName) {
  const std::vector<std::string> block = {"TEMPDIR=/a", "TEMP=/b", "tmp=/c", "EMPTY="};
  EXPECT_EQ(EnvironmentValue(block, "TEMP"), "/b");
  EXPECT_EQ(EnvironmentValue(block, "TEMPDIR"), "/a");
  EXPECT_EQ(EnvironmentValue(block, "TMP"), std::nullopt);
  EXPECT_EQ(EnvironmentValue(block, "EMPTY"), "");
  EXPECT_EQ(EnvironmentValue({"TEMPDIR=/a"}, "TEMP"), std::nullopt);
}

TEST(UserEnvironment, GraphicalSessionIsTakenFromTheUsersOwnProcesses) {
  ScratchFolder proc;
  const uid_t me = ::getuid();
  auto process = [&](const std::string& pid, const std::string& environ, uid_t owner) {
    ::mkdir((proc / pid).c_str(), 0755);
    WriteAll(proc / (pid + "/environ"), environ);
    if (owner != me && ::chown((proc / pid).c_str(), owner, owner) != 0) return false;
    return true;
  };
  // A process of the user without a display, one with a display, and another user's session.
  process("10", std::string("TMPDIR=/nope\0LANG=xx\0", 21), me);
  process("20", std::string("DISPLAY=:5\0XAUTHORITY=/home/u/.Xauthority\0SECRET=1\0LANG=de_DE.UTF-8\0", 68), me);
  bool otherUser = process("5", std::string("DISPLAY=:9\0", 11), 65534);
  std::vector<std::string> session = SessionEnvironment(me, proc.Path());
  EXPECT_EQ(EnvironmentValue(session, "DISPLAY"), ":5");
  EXPECT_EQ(EnvironmentValue(session, "XAUTHORITY"), "/home/u/.Xauthority");
  EXPECT_EQ(EnvironmentValue(session, "LANG"), "de_DE.UTF-8");
  EXPECT_EQ(EnvironmentValue(session, "SECRET"), std::nullopt);
  EXPECT_EQ(EnvironmentValue(session, "TMPDIR"), std::nullopt);
  if (!otherUser) GTEST_LOG_(INFO) << "another user's process could not be faked (not root)";
}

TEST(UserEnvironment, BlockIsBuiltForTheUserNotInherited) {
  ScopedEnv leak("NIMBRA_SHOULD_NOT_LEAK", "1");
  UserAccount user;
  user.name = "someone";
  user.uid = 4242;  // no processes, no session
  user.home = "/home/someone";
  user.shell = "/bin/bash";
  std::vector<std::string> block = UserEnvironmentBlock(user);
  EXPECT_EQ(EnvironmentValue(block, "HOME"), "/home/someone");
  EXPECT_EQ(EnvironmentValue(block, "USER"), "someone");
  EXPECT_EQ(EnvironmentValue(block, "LOGNAME"), "someone");
  EXPECT_EQ(EnvironmentValue(block, "SHELL"), "/bin/bash");
  EXPECT_EQ(EnvironmentValue(block, "PATH"), "/usr/local/bin:/usr/bin:/bin");
  EXPECT_EQ(EnvironmentValue(block, "NIMBRA_SHOULD_NOT_LEAK"), std::nullopt);
  EXPECT_EQ(EnvironmentValue(block, "DISPLAY"), std::nullopt);
}

TEST_F(LaunchTest, GuiRunsAsTheClientUserWithoutWayBackToRoot) {
  if (!IsRoot()) GTEST_SKIP() << "starting gui as another user needs root";
  TestUser user("run");
  if (!user.Ok()) GTEST_SKIP() << "useradd is not available";
  WriteRecordingGui(scratch_ / "app", scratch_ / "record");
  registry_.SetAppFolder(scratch_ / "app");
  ClientScope client(user.Account());
  ASSERT_TRUE(RunGUI("x", -1));
  EXPECT_EQ(Record("uid"), std::to_string(user.Account().uid) + "\n");
  EXPECT_EQ(Record("cwd"), user.Account().home + "\n");
}

}  // namespace
}  // namespace nimbra
