// Capture of a job through the function table and its hand-off to gui, as the job's user.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <vector>

#include "monitor/job_capture.h"
#include "monitor/monitor.h"
#include "monitor/monitor_log.h"
#include "monitor/port_list.h"
#include "monitor/spooler.h"
#include "monitor/user_account.h"
#include "platform/temp_path.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;

class RecordingSpooler : public Spooler {
 public:
  std::optional<JobInfo1> GetJob(std::string_view, uint32_t) override {
    return JobInfo1{"machine", "someone"};
  }
  bool SetJob(std::string_view printer, uint32_t jobId, JobControl command) override {
    commands.push_back(command);
    lastPrinter = std::string(printer);
    lastJob = jobId;
    return true;
  }
  std::vector<JobControl> commands;
  std::string lastPrinter;
  uint32_t lastJob = 0;
};

std::string WorkAreaOf(const UserAccount& user) {
  return PrivateTempFolder(user.uid) + "/Varnell inc./PDF Printer/";
}

class JobCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IsRoot()) GTEST_SKIP() << "capturing for another user needs root";
    if (!user_.Ok()) GTEST_SKIP() << "useradd is not available";
    registry_.SetPorts({"TVPDF29"});
    registry_.SetAppFolder(scratch_ / "app");
    WriteRecordingGui(scratch_ / "app", scratch_ / "record");
    ::mkdir((scratch_ / "program").c_str(), 0755);
    MonitorAttach();
    ResetLogFileNameForTesting();
    monitor_ = InitializePrintMonitor(kPortsRegistryRoot);
    SetSpooler(&spooler_);
    client_.emplace(user_.Account());
    ASSERT_TRUE(monitor_->Monitor.pfnOpenPort("TVPDF29", &port_));
  }
  void TearDown() override {
    client_.reset();
    SetSpooler(nullptr);
    MonitorAttach();
    ResetLogFileNameForTesting();
  }

  bool Start(const char* document, uint32_t jobId = 7) {
    DocInfo1 info{document, nullptr, "RAW"};
    return monitor_->Monitor.pfnStartDocPort(port_, "Nimbra_Creator", jobId, 1,
                                             reinterpret_cast<const uint8_t*>(&info));
  }
  void Write(const std::string& data) {
    uint32_t written = 0;
    ASSERT_TRUE(monitor_->Monitor.pfnWritePort(
        port_, reinterpret_cast<const uint8_t*>(data.data()), data.size(), &written));
    EXPECT_EQ(written, data.size());
  }
  PortEntry& Port() { return *static_cast<PortEntry*>(port_); }

  ScratchFolder scratch_;
  TestRegistry registry_{scratch_};
  // gui's fallback folders are looked for beside the program: a folder the user cannot write.
  ScopedEnv appFolderEnv_{"NIMBRA_APP_FOLDER", (scratch_ / "program").c_str()};
  // Something in the backend's own environment that must never reach gui.
  ScopedEnv leak_{"NIMBRA_SHOULD_NOT_LEAK", "cups"};
  TestUser user_{"cap"};
  RecordingSpooler spooler_;
  MonitorEx* monitor_ = nullptr;
  PortHandle port_ = nullptr;
  std::optional<ClientScope> client_;
};

TEST_F(JobCaptureTest, JobIsCapturedAsTheUserAndHandedToGuiRunningAsTheUser) {
  const std::string data = "%!PS-Adobe-3.0\n%%Title: (x)\nshowpage\n";
  ASSERT_TRUE(Start("Say \"hi\" \xC3\xBC"));
  const std::string spoolFile = Port().spoolFile;
  EXPECT_EQ(spoolFile.rfind(WorkAreaOf(user_.Account()), 0), 0u) << spoolFile;
  EXPECT_EQ(OwnerOf(spoolFile), user_.Account().uid);
  struct stat st {};
  ASSERT_EQ(::stat(spoolFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  Write(data.substr(0, 10));
  Write(data.substr(10));
  ASSERT_TRUE(monitor_->Monitor.pfnEndDocPort(port_));
  EXPECT_EQ(spooler_.commands, std::vector<JobControl>{JobControl::kDelete});
  EXPECT_EQ(spooler_.lastJob, 7u);
  EXPECT_FALSE(Port().flags & kPortCapturing);

  ASSERT_EQ(WaitForOutput((scratch_ / "record/done").c_str(), 20000), 1);
  const std::string arg = ReadAll(scratch_ / "record/arg");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(arg, m, std::regex(
      "ps=\"([^\"]+)\", sessionid=\"([0-9a-f-]+)\", doc=\"Say \"\"hi\"\" \xC3\xBC\", "
      "printer=\"Nimbra_Creator\"")))
      << arg;
  EXPECT_EQ(m[1].str(), spoolFile);
  EXPECT_EQ(spoolFile, WorkAreaOf(user_.Account()) + m[2].str() + "_printer.ps");
  EXPECT_EQ(ReadAll(scratch_ / "record/ps.copy"), data);
  EXPECT_EQ(ReadAll(scratch_ / "record/ps.owner"), std::to_string(user_.Account().uid) + "\n");
  EXPECT_EQ(ReadAll(scratch_ / "record/uid"), std::to_string(user_.Account().uid) + "\n");
  EXPECT_EQ(ReadAll(scratch_ / "record/cwd"), user_.Account().home + "\n");
  const std::string env = ReadAll(scratch_ / "record/env");
  EXPECT_NE(env.find("HOME=" + user_.Account().home + "\n"), std::string::npos) << env;
  EXPECT_NE(env.find("USER=" + user_.Account().name + "\n"), std::string::npos) << env;
  EXPECT_NE(env.find("LOGNAME=" + user_.Account().name + "\n"), std::string::npos) << env;
  EXPECT_NE(env.find("PATH=/usr/local/bin:/usr/bin:/bin\n"), std::string::npos) << env;
  EXPECT_EQ(env.find("NIMBRA_SHOULD_NOT_LEAK"), std::string::npos) << env;
  EXPECT_EQ(env.find("NIMBRA_EVENT_FOLDER"), std::string::npos) << env;

  // The log of the job lives in the user's work area, belongs to the user and starts afresh.
  const std::string log = ReadAll(WorkAreaOf(user_.Account()) + "port.log");
  EXPECT_EQ(log.rfind("[MyStartDocPort] Start Doc\n[MyStartDocPort] Session Id: " + m[2].str(), 0),
            0u) << log;
  for (const char* line : {"[MyStartDocPort] Printer Name: Nimbra_Creator\n",
                           "[MyStartDocPort] Printer Job - User Name: someone\n",
                           "[MakePDF] Document Name is : Say \"hi\" \xC3\xBC\n",
                           "[RunGUI] Launch GUI\n", "[RunProcessAsUser] Impersonate: End\n",
                           "[MakePDF] Status: Success\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  EXPECT_EQ(OwnerOf(WorkAreaOf(user_.Account()) + "port.log"), user_.Account().uid);
}

TEST_F(JobCaptureTest, SecondStartOnACapturingPortIsRefused) {
  ASSERT_TRUE(Start("first"));
  const std::string first = Port().spoolFile;
  EXPECT_FALSE(Start("second"));
  EXPECT_EQ(Port().spoolFile, first);
  ASSERT_TRUE(monitor_->Monitor.pfnEndDocPort(port_));
}

TEST_F(JobCaptureTest, JobIsHeldWhenTheWorkAreaCannotBeCreated) {
  // Someone else holds the user's private temporary folder name: the work area is refused.
  const std::string squatted = PrivateTempFolder(user_.Account().uid);
  WriteAll(squatted, "not a folder");
  ASSERT_EQ(OwnerOf(squatted), 0u);
  EXPECT_FALSE(Start("doc"));
  EXPECT_EQ(spooler_.commands,
            (std::vector<JobControl>{JobControl::kRestart, JobControl::kPause}));
  EXPECT_EQ(Port().spoolHandle, -1);
  EXPECT_FALSE(Port().flags & kPortCapturing);
  // Nothing reaches the port and the end of the job deletes nothing.
  Write("");
  EXPECT_TRUE(monitor_->Monitor.pfnEndDocPort(port_));
  EXPECT_EQ(spooler_.commands.size(), 2u);
  EXPECT_EQ(ReadAll(squatted), "not a folder");
}

TEST_F(JobCaptureTest, GuiThatCannotStartRemovesTheSpoolFileAndEndsTheJob) {
  registry_.SetAppFolder(scratch_ / "nogui");
  ::mkdir((scratch_ / "nogui").c_str(), 0755);
  for (bool debugMarker : {false, true}) {
    SCOPED_TRACE(debugMarker ? "with debug marker" : "without debug marker");
    if (debugMarker) WriteAll(scratch_ / "nogui/debug.txt", "");
    spooler_.commands.clear();
    ASSERT_TRUE(Start("doc"));
    const std::string spoolFile = Port().spoolFile;
    Write("%!PS\n");
    ASSERT_TRUE(monitor_->Monitor.pfnEndDocPort(port_));
    EXPECT_EQ(Exists(spoolFile), debugMarker);
    EXPECT_EQ(spooler_.commands, std::vector<JobControl>{JobControl::kDelete});
    const std::string log = ReadAll(WorkAreaOf(user_.Account()) + "port.log");
    EXPECT_NE(log.find("[RunProcessAsUser] CreateProcessAsUser failed: Error=2, ProcessId=0\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("[RunGUI] Launch of GUI failed: \"" + scratch_ / "nogui/gui" + "\" ps="),
              std::string::npos) << log;
    EXPECT_EQ(log.find("[MakePDF] Remove PS file: " + spoolFile) != std::string::npos,
              !debugMarker) << log;
    EXPECT_NE(log.find("[MakePDF] Status: Error\n"), std::string::npos) << log;
    ::unlink(spoolFile.c_str());
  }
}

TEST_F(JobCaptureTest, FailedWriteHoldsTheJobInsteadOfDeletingIt) {
  ASSERT_TRUE(Start("big"));
  // A real write failure: the file-size limit of the process (root is not exempt).
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string block(8192, 'x');
  uint32_t written = 0;
  EXPECT_TRUE(monitor_->Monitor.pfnWritePort(
      port_, reinterpret_cast<const uint8_t*>(block.data()), block.size(), &written));
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(written, 4096u);
  EXPECT_EQ(spooler_.commands,
            (std::vector<JobControl>{JobControl::kRestart, JobControl::kPause}));
  ASSERT_TRUE(monitor_->Monitor.pfnEndDocPort(port_));
  // Handed off as it is, but never deleted from the queue.
  EXPECT_EQ(spooler_.commands.size(), 2u);
  EXPECT_EQ(WaitForOutput((scratch_ / "record/done").c_str(), 20000), 1);
}

// Parameter strings.
TEST(JobParameters, EscapeQuotesDoublesQuotesWithinTheLimit) {
  struct Case {
    std::string in;
    std::size_t limit;
    std::string out;
  } cases[] = {
      {"plain", 1500, "plain"},
      {"Say \"hi\"", 1500, "Say \"\"hi\"\""},
      {"abcdef", 6, "abc"},        // stops once limit - 3 positions are used
      {"ab\"cd", 6, "ab\"\""},     // a quote counts two and may end one past the stop
      {"\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC", 6, "\xC3\xBC\xC3\xBC\xC3\xBC"},  // never splits
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeQuotes(c.in, c.limit), c.out) << c.in;
  EXPECT_EQ(EscapeQuotes(std::string(3000, '"')).size(), 1498u);
  EXPECT_EQ(EscapeQuotes(std::string(3000, 'a')).size(), 1497u);
}

TEST(JobParameters, LongNamesShortenTheDocumentNameNeverThePath) {
  const std::string path = "/tmp/nimbra-creator-1000/Varnell inc./PDF Printer/x_printer.ps";
  const std::string printer(600, 'p');
  struct Case {
    std::string doc;
    std::string prn;
  } cases[] = {{std::string(999, '"'), printer},
               {std::string(999, 'd'), std::string(999, 'p')},
               {std::string(999, '\xE2') , "P"}};
  for (const Case& c : cases) {
    std::string params = BuildJobParameters(path, "x", c.doc, c.prn);
    EXPECT_LE(CharacterCount(params), kParameterLimit);
    EXPECT_EQ(params.rfind("ps=\"" + path + "\", sessionid=\"x\", doc=\"", 0), 0u);
    std::size_t docStart = params.find("doc=\"") + 5;
    std::size_t docEnd = params.rfind("\", printer=\"");
    std::string doc = params.substr(docStart, docEnd - docStart);
    // The kept part of the document name is whole: its quotes stay doubled.
    EXPECT_EQ(std::count(doc.begin(), doc.end(), '"') % 2, 0);
    std::string prn = params.substr(docEnd + 12, params.size() - docEnd - 13);
    if (c.prn.size() < 1000 - 100) {
      EXPECT_EQ(prn, c.prn);
    }
  }
  // Short names pass whole.
  EXPECT_EQ(BuildJobParameters("/w/a_printer.ps", "id", "Doc", "P"),
            "ps=\"/w/a_printer.ps\", sessionid=\"id\", doc=\"Doc\", printer=\"P\"");
}

TEST(JobParameters, SessionIdIsALowerCaseGuid) {
  const std::string id = MakeSessionId();
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}")))
      << id;
  EXPECT_NE(id, MakeSessionId());
}

}  // namespace
}  // namespace nimbra
