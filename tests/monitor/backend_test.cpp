// The CUPS backend program: device listing, a job from standard input or a file, and the exit
// codes CUPS acts on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "monitor/monitor.h"
#include "platform/temp_path.h"
#include "tests/monitor/cups_support.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;

const std::string kBackend = std::string(NIMBRA_BINARY_DIR) + "/monitor/backend/tvpdf29";

struct BackendRun {
  int exitCode;
  std::string out;
  std::string err;
};

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.SetPorts({"TVPDF29", "SECOND"});
    registry_.SetAppFolder(scratch_ / "app");
    WriteRecordingGui(scratch_ / "app", scratch_ / "record");
  }

  // Runs the backend with CUPS's variables; `arguments` are passed through the shell as given.
  BackendRun Backend(const std::string& arguments, const std::string& input = "",
              const std::string& uri = "tvpdf29:/TVPDF29") {
    WriteAll(scratch_ / "in", input);
    const std::string command = "cd / && env DEVICE_URI='" + uri +
                                "' PRINTER=Nimbra_Creator '" + kBackend + "' " + arguments +
                                " < '" + scratch_ / "in" + "' > '" + scratch_ / "out" +
                                "' 2> '" + scratch_ / "err" + "'";
    BackendRun run;
    run.exitCode = Shell(command);
    run.out = ReadAll(scratch_ / "out");
    run.err = ReadAll(scratch_ / "err");
    return run;
  }

  ScratchFolder scratch_;
  TestRegistry registry_{scratch_};
};

TEST_F(BackendTest, WithoutArgumentsListsThePortsAsDevices) {
  BackendRun run = Backend("");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "direct tvpdf29:/SECOND \"Nimbra Creator Monitor\" \"Nimbra Creator Port SECOND\"\n"
            "direct tvpdf29:/TVPDF29 \"Nimbra Creator Monitor\" \"Nimbra Creator Port TVPDF29\"\n");
}

TEST_F(BackendTest, WrongArgumentsOrPortFail) {
  EXPECT_EQ(Backend("1 2 3").exitCode, 1);
  BackendRun run = Backend("1 root title 1 ''", "%!PS\n", "tvpdf29:/NOPORT");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("ERROR: The port of \"tvpdf29:/NOPORT\" is not a port"), std::string::npos)
      << run.err;
  EXPECT_EQ(Backend("1 root title 1 ''", "%!PS\n", "file:/dev/null").exitCode, 1);
}

class BackendJobTest : public BackendTest {
 protected:
  void SetUp() override {
    if (!IsRoot()) GTEST_SKIP() << "the backend acts for the job's user only as root";
    if (!user_.Ok()) GTEST_SKIP() << "useradd is not available";
    BackendTest::SetUp();
  }
  TestUser user_{"bk"};
};

TEST_F(BackendJobTest, JobFromStandardInputOrFileIsHandedToGuiAsTheUser) {
  const std::string data = "%!PS-Adobe-3.0\n" + std::string(200000, 'x') + "\nshowpage\n";
  WriteAll(scratch_ / "job.ps", data);
  ::chmod((scratch_ / "job.ps").c_str(), 0600);  // readable by root only, as CUPS's files are
  for (std::string fileArgument : {std::string(""), "'" + scratch_ / "job.ps" + "'"}) {
    SCOPED_TRACE(fileArgument.empty() ? "standard input" : "file argument");
    ::unlink((scratch_ / "record/done").c_str());
    BackendRun run = Backend("42 " + user_.Account().name + " 'Report \"Q4\"' 1 ''" +
                          (fileArgument.empty() ? "" : " " + fileArgument),
                      fileArgument.empty() ? data : "");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("INFO: Document handed to Nimbra Creator"), std::string::npos) << run.err;
    ASSERT_EQ(WaitForOutput((scratch_ / "record/done").c_str(), 20000), 1);
    EXPECT_EQ(ReadAll(scratch_ / "record/uid"), std::to_string(user_.Account().uid) + "\n");
    EXPECT_EQ(ReadAll(scratch_ / "record/ps.copy"), data);
    const std::string arg = ReadAll(scratch_ / "record/arg");
    EXPECT_NE(arg.find(", doc=\"Report \"\"Q4\"\"\", printer=\"Nimbra_Creator\""), std::string::npos)
        << arg;
  }
}

TEST_F(BackendJobTest, UnknownUserOrMissingWorkAreaHoldTheJob) {
  BackendRun unknown = Backend("7 nimbra-no-such-user doc 1 ''", "%!PS\n");
  EXPECT_EQ(unknown.exitCode, 3) << unknown.err;
  EXPECT_NE(unknown.err.find("ERROR: "), std::string::npos);

  WriteAll(PrivateTempFolder(user_.Account().uid), "squatted");
  BackendRun held = Backend("8 " + user_.Account().name + " doc 1 ''", "%!PS\n");
  EXPECT_EQ(held.exitCode, 3) << held.err;
  EXPECT_NE(held.err.find("ERROR: Unable to create the spool file in the work area of " +
                          user_.Account().name + "; the job is held."),
            std::string::npos)
      << held.err;
  EXPECT_FALSE(Exists(scratch_ / "record/done"));
}

TEST_F(BackendJobTest, CancelledJobLeavesNoSpoolFileAndHandsNothingOn) {
  const std::string fifo = scratch_ / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The backend reads its job from a pipe that the test keeps open, as CUPS's filters do.
  Shell("sh -c 'cd / && env DEVICE_URI=tvpdf29:/TVPDF29 PRINTER=Nimbra_Creator \"" + kBackend +
        "\" 9 " + user_.Account().name + " doc 1 \"\" < \"" + fifo + "\" 2> \"" +
        scratch_ / "err" + "\" & echo $! > \"" + scratch_ / "pid" + "\"; wait $!; echo $? > \"" +
        scratch_ / "rc" + "\"' &");
  int writer = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(::write(writer, "%!PS\n", 5), 5);
  const std::string workArea = PrivateTempFolder(user_.Account().uid) + "/Varnell inc./PDF Printer";
  ASSERT_TRUE(WaitUntil([&] { return !FilesEndingWith(workArea, "_printer.ps").empty(); }, 30));
  ASSERT_TRUE(WaitUntil([&] { return !ReadAll(scratch_ / "pid").empty(); }, 30));
  ASSERT_EQ(::kill(std::stoi(ReadAll(scratch_ / "pid")), SIGTERM), 0);
  EXPECT_TRUE(WaitUntil([&] { return !ReadAll(scratch_ / "rc").empty(); }, 30));
  ::close(writer);
  EXPECT_EQ(ReadAll(scratch_ / "rc"), "0\n") << ReadAll(scratch_ / "err");
  EXPECT_TRUE(FilesEndingWith(workArea, "_printer.ps").empty());
  EXPECT_FALSE(Exists(scratch_ / "record/done"));
}

}  // namespace
}  // namespace nimbra
