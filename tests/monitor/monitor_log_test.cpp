// The monitor log, the debug marker and the work area with its file-system rules.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "monitor/monitor_log.h"
#include "monitor/user_account.h"
#include "monitor/work_area.h"
#include "platform/temp_path.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;

class MonitorLogTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetLogFileNameForTesting(); }
  void TearDown() override { ResetLogFileNameForTesting(); }
  ScratchFolder scratch_;
  TestRegistry registry_{scratch_};
};

TEST_F(MonitorLogTest, LogFolderWithoutSlashGetsPortLogAndItsParentsAreCreated) {
  registry_.SetLogFolder(scratch_ / "a/b/logs");
  ASSERT_TRUE(MakeLogFileName());
  EXPECT_EQ(LogFileName(), scratch_ / "a/b/logs/port.log");
  EXPECT_TRUE(DebugLog("MyStartDocPort", "Start Doc", nullptr, true));
  EXPECT_TRUE(DebugLog("RunProcessAsUser", "Impersonate", "4"));
  EXPECT_TRUE(DebugLog(nullptr, "no category"));
  EXPECT_FALSE(DebugLog("X", nullptr));
  EXPECT_EQ(ReadAll(LogFileName()),
            "[MyStartDocPort] Start Doc\n[RunProcessAsUser] Impersonate: 4\nno category\n");
  // The next job's first line empties the log.
  EXPECT_TRUE(DebugLog("MyStartDocPort", "Start Doc", nullptr, true));
  EXPECT_EQ(ReadAll(LogFileName()), "[MyStartDocPort] Start Doc\n");
}

TEST_F(MonitorLogTest, LinesBeforeTheFirstJobAreLost) {
  EXPECT_EQ(LogFileName(), "");
  EXPECT_FALSE(DebugLog("IsDebug", "nothing yet"));
}

TEST_F(MonitorLogTest, DebugMarkerIsAFileOrAFolderInTheAppFolder) {
  registry_.SetLogFolder(scratch_ / "logs");
  ASSERT_TRUE(MakeLogFileName());
  EXPECT_FALSE(IsDebug());  // no AppFolder
  EXPECT_NE(ReadAll(LogFileName()).find("[IsDebug] Unable to read AppFolder setting from the registry"),
            std::string::npos);
  ::mkdir((scratch_ / "app").c_str(), 0755);
  registry_.SetAppFolder(scratch_ / "app/");
  EXPECT_FALSE(IsDebug());
  WriteAll(scratch_ / "app/debug.txt", "");
  EXPECT_TRUE(IsDebug());
  ::unlink((scratch_ / "app/debug.txt").c_str());
  ::mkdir((scratch_ / "app/debug.txt").c_str(), 0755);
  registry_.SetAppFolder(scratch_ / "app");
  EXPECT_TRUE(IsDebug());
}

TEST_F(MonitorLogTest, MakeDirectoriesCreatesMissingParents) {
  EXPECT_TRUE(MakeDirectories(scratch_ / "x/y/z/"));
  EXPECT_TRUE(MakeDirectories(scratch_ / "x/y/z"));
  WriteAll(scratch_ / "file", "");
  EXPECT_FALSE(MakeDirectories(scratch_ / "file/sub"));
}

class UserWorkAreaTest : public MonitorLogTest {
 protected:
  void SetUp() override {
    MonitorLogTest::SetUp();
    if (!IsRoot()) GTEST_SKIP() << "acting for another user needs root";
    if (!user_.Ok()) GTEST_SKIP() << "useradd is not available";
    client_.emplace(user_.Account());
  }
  void TearDown() override {
    client_.reset();
    MonitorLogTest::TearDown();
  }
  std::string WorkArea() {
    return PrivateTempFolder(user_.Account().uid) + "/Varnell inc./PDF Printer/";
  }
  TestUser user_{"area"};
  std::optional<ClientScope> client_;
};

TEST_F(UserWorkAreaTest, WorkAreaIsTheUsersPrivateTemporaryFolder) {
  std::optional<std::string> area = GetWorkArea();
  ASSERT_TRUE(area);
  EXPECT_EQ(*area, WorkArea());
  for (std::string folder : {PrivateTempFolder(user_.Account().uid), WorkArea()}) {
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
    EXPECT_EQ(st.st_uid, user_.Account().uid) << folder;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << folder;
  }
  std::string spool;
  ASSERT_TRUE(GetSpoolFileName(spool, "abc"));
  EXPECT_EQ(spool, WorkArea() + "abc_printer.ps");
}

TEST_F(UserWorkAreaTest, PlantedLinksAreNeverFollowed) {
  ASSERT_TRUE(GetWorkArea());
  const std::string victim = scratch_ / "victim";
  WriteAll(victim, "keep");
  // A symbolic link and a hard link planted where the log and a spool file will go.
  ASSERT_EQ(::symlink(victim.c_str(), (WorkArea() + "x_printer.ps").c_str()), 0);
  ASSERT_EQ(::link(victim.c_str(), (WorkArea() + "port.log").c_str()), 0);

  ASSERT_TRUE(MakeLogFileName());
  EXPECT_EQ(LogFileName(), WorkArea() + "port.log");
  EXPECT_FALSE(DebugLog("MyStartDocPort", "Start Doc", nullptr, true));

  int fd = CreateSpoolFile(WorkArea() + "x_printer.ps");
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "new", 3), 3);
  ::close(fd);
  struct stat st {};
  ASSERT_EQ(::lstat((WorkArea() + "x_printer.ps").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_uid, user_.Account().uid);
  EXPECT_EQ(ReadAll(victim), "keep");
}

TEST_F(UserWorkAreaTest, AJobCannotReachAnotherUsersFiles) {
  // A folder only root may enter, and a file of root's that the user may read but not write.
  ::mkdir((scratch_ / "private").c_str(), 0700);
  WriteAll(scratch_ / "readonly", "root's");
  ::chmod((scratch_ / "readonly").c_str(), 0644);
  EXPECT_EQ(CreateSpoolFile(scratch_ / "private/x_printer.ps"), -1);
  EXPECT_FALSE(Exists(scratch_ / "private/x_printer.ps"));
  EXPECT_FALSE(RemoveSpoolFile(scratch_ / "readonly"));
  EXPECT_EQ(ReadAll(scratch_ / "readonly"), "root's");
}

}  // namespace
}  // namespace nimbra
