// The whole road of a print job through a real CUPS spooler of the test's own: lp as a normal
// user -> CUPS's filters -> the backend tvpdf29 as root -> the monitor -> gui as that user ->
// the PDF in the user's home.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <regex>
#include <thread>
#include <string>

#include "monitor/monitor.h"
#include "platform/registry.h"
#include "platform/temp_path.h"
#include "settings/folders.h"
#include "tests/monitor/cups_support.h"
#include "tests/monitor/monitor_support.h"

namespace nimbra {
namespace {

using namespace test;

const std::string kBackend = std::string(NIMBRA_BINARY_DIR) + "/monitor/backend/tvpdf29";
const std::string kGui = std::string(NIMBRA_BINARY_DIR) + "/gui/driver/gui";
constexpr int kJobSeconds = 240;

class CupsEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!IsRoot()) GTEST_SKIP() << "the backend runs as root under cupsd; the test needs root";
    if (!Exists("/usr/sbin/cupsd")) GTEST_SKIP() << "cupsd is not installed";
    if (!Exists(kGui)) GTEST_SKIP() << "the converter gui has not been built (" << kGui << ")";
    // gui is copied into an application folder every test user can enter, wherever the build is.
    ::mkdir((scratch_ / "app").c_str(), 0755);
    ASSERT_EQ(Shell("cp '" + kGui + "' '" + scratch_ / "app/gui" + "'"), 0);
    registry_.SetPorts({"TVPDF29"});
    registry_.SetAppFolder(scratch_ / "app");
    ::chmod((scratch_ / "registry.reg").c_str(), 0644);
    ASSERT_TRUE(MakePdf(scratch_ / "some.pdf", 3));
    cups_.emplace(scratch_, kBackend, scratch_ / "registry.reg");
    ASSERT_TRUE(cups_->Ok()) << cups_->ErrorLog();
  }
  void TearDown() override { cups_.reset(); }

  std::unique_ptr<TestUser> NewUser(const std::string& stem) {
    auto user = std::make_unique<TestUser>(stem);
    if (user->Ok()) {
      WriteUserSettings(user->Account().home, user->Account().uid, user->Account().gid);
    }
    return user;
  }
  static std::string WorkArea(const TestUser& user) {
    return PrivateTempFolder(user.Account().uid) + "/Varnell inc./PDF Printer/";
  }
  static std::string Pdf(const TestUser& user, const std::string& title) {
    return user.Account().home + "/out/" + title + ".pdf";
  }
  // Spool files are gone once every gui has cleaned up after itself.
  static bool NoSpoolFiles(const TestUser& user) {
    return FilesEndingWith(WorkArea(user), "_printer.ps").empty();
  }

  ScratchFolder scratch_;
  TestRegistry registry_{scratch_};
  std::optional<PrivateCups> cups_;
};

TEST_F(CupsEndToEndTest, PrintedDocumentLandsInTheUsersHomeWithItsTitleAndPages) {
  auto user = NewUser("e2e-a");
  ASSERT_TRUE(user->Ok());
  const std::string title = "Quarterly (draft) \xC3\xBC";
  const int job = cups_->Print(user->Account().name, title, scratch_ / "some.pdf");
  ASSERT_GT(job, 0);
  const std::string pdf = Pdf(*user, title);
  ASSERT_EQ(WaitForOutput(pdf.c_str(), kJobSeconds * 1000), 1) << cups_->ErrorLog();
  const std::string status = user->Account().home + "/status.ini";
  ASSERT_TRUE(WaitUntil([&] { return ReadStatusFile(status).find("Errors=") != std::string::npos; },
                        kJobSeconds));
  EXPECT_TRUE(std::regex_search(ReadStatusFile(status), std::regex("Errors=0\\s")))
      << ReadStatusFile(status);
  EXPECT_EQ(OwnerOf(pdf), user->Account().uid);
  EXPECT_EQ(PdfPages(pdf), 3);
  EXPECT_EQ(PdfTitle(pdf), title);
  EXPECT_TRUE(WaitUntil([&] { return cups_->Completed(job); }, kJobSeconds)) << cups_->ErrorLog();
  EXPECT_TRUE(WaitUntil([&] { return NoSpoolFiles(*user); }, kJobSeconds));

  const std::string log = ReadAll(WorkArea(*user) + "port.log");
  EXPECT_EQ(log.rfind("[MyStartDocPort] Start Doc\n", 0), 0u) << log;
  for (const std::string& line :
       {std::string("[MyStartDocPort] Printer Name: Nimbra_Creator\n"),
        "[MyStartDocPort] DocumentName: " + title + "\n",
        "[MyStartDocPort] Printer Job - User Name: " + user->Account().name + "\n",
        std::string("[MakePDF] Status: Success\n")}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << log;
  }
}

TEST_F(CupsEndToEndTest, TwoUsersAndTwentyJobsAtOnceEachGiveTheirOwnPdf) {
  auto first = NewUser("e2e-a");
  auto second = NewUser("e2e-b");
  ASSERT_TRUE(first->Ok() && second->Ok());
  int secondJob = 0;
  std::thread other([&] { secondJob = cups_->Print(second->Account().name, "Other user", scratch_ / "some.pdf"); });
  std::vector<int> jobs = cups_->PrintMany(first->Account().name, "Job ", scratch_ / "some.pdf", 20);
  other.join();
  ASSERT_EQ(jobs.size(), 20u);
  ASSERT_GT(secondJob, 0);
  jobs.push_back(secondJob);

  std::vector<std::string> pdfs = {Pdf(*second, "Other user")};
  for (int i = 1; i <= 20; ++i) {
    pdfs.push_back(Pdf(*first, std::string("Job ") + (i < 10 ? "0" : "") + std::to_string(i)));
  }
  for (const std::string& pdf : pdfs) {
    ASSERT_EQ(WaitForOutput(pdf.c_str(), kJobSeconds * 1000), 1) << pdf << "\n" << cups_->ErrorLog();
  }
  for (int job : jobs) {
    EXPECT_TRUE(WaitUntil([&] { return cups_->Completed(job); }, kJobSeconds)) << job;
  }
  EXPECT_TRUE(WaitUntil([&] { return NoSpoolFiles(*first) && NoSpoolFiles(*second); }, kJobSeconds));
  for (const std::string& pdf : pdfs) {
    EXPECT_TRUE(WaitUntil([&] { return PdfPages(pdf) == 3; }, kJobSeconds)) << pdf;
  }
  // Each user's files are the user's own.
  EXPECT_EQ(OwnerOf(pdfs[0]), second->Account().uid);
  EXPECT_EQ(OwnerOf(pdfs[1]), first->Account().uid);
  EXPECT_EQ(FilesEndingWith(first->Account().home + "/out", ".pdf").size(), 20u);
  EXPECT_EQ(FilesEndingWith(second->Account().home + "/out", ".pdf").size(), 1u);
}

TEST_F(CupsEndToEndTest, JobIsHeldWhileTheWorkAreaCannotBeCreatedAndPrintsWhenReleased) {
  auto user = NewUser("e2e-a");
  ASSERT_TRUE(user->Ok());
  const std::string squatted = PrivateTempFolder(user->Account().uid);
  WriteAll(squatted, "someone else's");
  const int job = cups_->Print(user->Account().name, "Held one", scratch_ / "some.pdf");
  ASSERT_GT(job, 0);
  EXPECT_TRUE(WaitUntil([&] { return cups_->Held(job); }, kJobSeconds)) << cups_->ErrorLog();
  EXPECT_NE(cups_->ErrorLog().find("Unable to create the spool file in the work area of " +
                                   user->Account().name),
            std::string::npos);
  EXPECT_FALSE(cups_->Completed(job));
  EXPECT_FALSE(Exists(Pdf(*user, "Held one")));

  // Once the folder is free, releasing the job prints it: nothing was lost.
  ASSERT_EQ(::unlink(squatted.c_str()), 0);
  ASSERT_TRUE(cups_->Release(job));
  EXPECT_EQ(WaitForOutput(Pdf(*user, "Held one").c_str(), kJobSeconds * 1000), 1)
      << cups_->ErrorLog();
  EXPECT_TRUE(WaitUntil([&] { return cups_->Completed(job); }, kJobSeconds));
}

TEST_F(CupsEndToEndTest, GuiThatCannotStartEndsTheJobRemovesTheSpoolFileAndLogsWhy) {
  auto user = NewUser("e2e-a");
  ASSERT_TRUE(user->Ok());
  ::mkdir((scratch_ / "nogui").c_str(), 0755);
  registry_.SetAppFolder(scratch_ / "nogui");
  const int job = cups_->Print(user->Account().name, "Lost gui", scratch_ / "some.pdf");
  ASSERT_GT(job, 0);
  EXPECT_TRUE(WaitUntil([&] { return cups_->Completed(job); }, kJobSeconds)) << cups_->ErrorLog();
  EXPECT_TRUE(NoSpoolFiles(*user));
  const std::string log = ReadAll(WorkArea(*user) + "port.log");
  EXPECT_NE(log.find("[RunProcessAsUser] CreateProcessAsUser failed: Error=2, ProcessId=0\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("[RunProcessAsUser] Reason: " + scratch_ / "nogui/gui" +
                     ": No such file or directory\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("[MakePDF] Remove PS file: " + WorkArea(*user)), std::string::npos) << log;
  EXPECT_NE(log.find("[MakePDF] Status: Error\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace nimbra
