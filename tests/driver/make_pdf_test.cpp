// The job pipeline in-process with a scripted user interface and the real Ghostscript: the
// dialogs' outcomes, progress and completion display, delivery failures, the debug marker, the
// append pass, and the flags that keep follow-up programs from running twice.
#include "gui/driver/make_pdf.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fake_user_interface_support.h"
#include "gui/driver/job_context.h"
#include "gui/driver/startup.h"
#include "sandbox_support.h"

namespace nimbra {
namespace {

using test::FakeUserInterface;
using test::Sandbox;
using Settings = std::vector<std::pair<std::string, std::string>>;

const std::string kTwoPages = std::string(NIMBRA_TEST_DATA) + "/two_pages.ps";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs the job the monitor would start for the fixture, with these settings of the printer.
JobContext RunJob(const Sandbox& sandbox, FakeUserInterface& ui, Settings settings,
                  const std::string& sessionId = "job") {
  // "showpdf" is "ask" by default, which would put a question before everything else.
  settings.insert(settings.begin(), {{"statusfile", sandbox.out + "/status.txt"},
                                     {"showpdf", "no"}});
  sandbox.WriteSettings(settings);
  JobContext context;
  Startup(context,
          "ps=\"" + kTwoPages + "\", sessionid=\"" + sessionId +
              "\", doc=\"Two pages\", printer=\"Nimbra_Creator\"",
          ui);
  return context;
}

// The messages of the run's log, in order, without time stamp, computer and user.
std::vector<std::string> LogMessages(const Sandbox& sandbox, const std::string& sessionId) {
  std::vector<std::string> out;
  const std::string log = test::ReadAll(sandbox.LogFile(sessionId));
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    std::size_t colon = line.find(": ");
    out.push_back(colon == std::string::npos ? line : line.substr(colon + 2));
    start = end + 2;
  }
  return out;
}

bool InOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
  std::size_t at = 0;
  for (const auto& line : lines) {
    if (at < expected.size() && line == expected[at]) ++at;
  }
  return at == expected.size();
}

TEST(MakePDF, CancelledOrWithoutOutputTheJobEndsQuietly) {
  struct Case {
    const char* name;
    Settings settings;
    bool acceptSettingsDialog;
    std::string saveAsAnswer;
    const char* lastLine;
  };
  const std::vector<Case> cases = {
      {"per-job dialog cancelled", {{"showsettings", "always"}}, false, "", "User pressed cancel"},
      {"Save As cancelled", {{"showsettings", "never"}, {"showsaveas", "always"}}, true, "",
       "No output specified"},
      {"empty output", {{"showsettings", "never"}, {"output", ""}}, true, "",
       "No output specified"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    FakeUserInterface ui;
    ui.editSettings = [&](Dictionary&) { return c.acceptSettingsDialog; };
    ui.saveAsAnswers = {c.saveAsAnswer};
    Settings settings = c.settings;
    settings.emplace_back("debug", "yes");  // keeps the log
    settings.emplace_back("runonerror", "touch " + test::Quoted(sandbox.out + "/onerror"));
    settings.emplace_back("afterprintprogram", "touch " + test::Quoted(sandbox.out + "/after"));
    RunJob(sandbox, ui, settings);
    const auto lines = LogMessages(sandbox, "job");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(InOrder(lines, {"Show GUI", c.lastLine}));
    EXPECT_FALSE(InOrder(lines, {"Ghostscript"}));
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_FALSE(test::Exists(sandbox.out + "/status.txt"));
    EXPECT_EQ(test::WaitForLines(sandbox.out + "/after", 1, 300), 0);
    EXPECT_FALSE(test::Exists(sandbox.out + "/onerror"));
  }
}

TEST(MakePDF, ProgressAndCompletionDisplay) {
  struct Case {
    const char* name;
    Settings settings;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"defaults", {}, {"SetTip", "ShowTrayIcon", "ShowBalloonTip", "HideTrayIcon"}},
      {"showprogress no", {{"showprogress", "No"}}, {"ShowBalloonTip", "HideTrayIcon"}},
      {"showprogressfinished no",
       {{"showprogressfinished", "NO"}},
       {"SetTip", "ShowTrayIcon", "HideTrayIcon", "HideTrayIcon"}},
      {"delivery failed",
       {{"suppresserrors", "yes"}, {"output", "/nonexistent-folder/x.pdf"}},
       {"SetTip", "ShowTrayIcon", "HideTrayIcon", "HideTrayIcon"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    FakeUserInterface ui;
    const std::string pdf = sandbox.out + "/two.pdf";
    Settings settings = {{"showsettings", "never"}, {"output", pdf}, {"debug", "yes"}};
    settings.insert(settings.end(), c.settings.begin(), c.settings.end());
    JobContext context = RunJob(sandbox, ui, settings);
    EXPECT_EQ(ui.calls, c.calls);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    const bool balloon = Contains(c.name, "defaults") || Contains(c.name, "showprogress no");
    EXPECT_EQ(context.balloonShownAt.has_value(), balloon);
    if (balloon) {
      ASSERT_EQ(ui.balloons.size(), 1u);
      EXPECT_EQ(ui.balloons[0], pdf + " 2");
    }
    if (!ui.tips.empty()) {
      EXPECT_EQ(ui.tips[0], "Creating PDF Document...");
    }
    EXPECT_EQ(context.pageCount, 2);
    EXPECT_TRUE(InOrder(LogMessages(sandbox, "job"),
                        {"Show GUI", "Patch", "Header", "Parameters", "Ghostscript",
                         "Write status file", "Finished"}));
  }
}

TEST(MakePDF, FailedCopyAsksToRetryUnlessErrorsAreSuppressed) {
  Sandbox sandbox;
  FakeUserInterface ui;
  ui.messageAnswers = {MessageResult::kRetry, MessageResult::kCancel};
  const std::string destination = sandbox.out + "/missing/x.pdf";
  JobContext context = RunJob(sandbox, ui, {{"showsettings", "never"}, {"output", destination}});
  ASSERT_EQ(ui.messages.size(), 2u);
  for (const auto& m : ui.messages) {
    EXPECT_EQ(m.icon, MessageIcon::kExclamation);
    EXPECT_EQ(m.buttons, MessageButtons::kRetryCancel);
    EXPECT_TRUE(Contains(m.text, "Error copying PDF document to destination file.")) << m.text;
    EXPECT_TRUE(Contains(m.text, destination)) << m.text;
  }
  EXPECT_EQ(ui.balloons.size(), 0u);
  EXPECT_EQ(context.fileCount, 0);
  EXPECT_TRUE(Contains(test::ReadStatusFile(sandbox.out + "/status.txt"), "  Errors=1\r\n"));
}

TEST(MakePDF, FollowUpProgramsRunOnceWhenALaterStepFails) {
  Sandbox sandbox;
  FakeUserInterface ui;
  // The copy fails (run-on-error starts in the pipeline), then the after-print program cannot be
  // started (its folder is missing): the error handler must not start run-on-error again.
  JobContext context = RunJob(
      sandbox, ui,
      {{"showsettings", "never"}, {"suppresserrors", "no"},
       {"output", sandbox.out + "/missing/x.pdf"},
       {"runonerror", "echo once >> " + test::Quoted(sandbox.out + "/onerror.txt")},
       {"afterprintprogram", "true"}, {"afterprintprogramdir", sandbox.out + "/no-such-dir"}});
  ASSERT_EQ(ui.messages.size(), 2u);  // the retry question, then the error
  EXPECT_TRUE(Contains(ui.messages[1].text, "Error 1000: Error launching the command"))
      << ui.messages[1].text;
  EXPECT_TRUE(Contains(ui.messages[1].text, "\n\nRun AfterPrintProgram.")) << ui.messages[1].text;
  EXPECT_TRUE(context.runOnErrorDone);
  EXPECT_FALSE(context.afterPrintDone);
  EXPECT_EQ(test::WaitForLines(sandbox.out + "/onerror.txt", 2, 500), 1);
  const std::string status = test::ReadStatusFile(sandbox.out + "/status.txt");
  EXPECT_EQ(status.rfind("[Status]\r\n  Errors=1\r\n  PageCount=2\r\n  FileCount=0\r\n\r\n"
                         "[Files]\r\n\r\n",
                         0),
            0u)
      << status;
}

TEST(MakePDF, SuppressedErrorsAreStillReportedEverywhereButOnScreen) {
  Sandbox sandbox;
  FakeUserInterface ui;
  const std::string broken = sandbox.out + "/broken.ps";
  std::ofstream(broken) << "%!PS-Adobe-3.0\n%%Page: 1 1\nnosuchoperator\nshowpage\n";
  sandbox.WriteSettings({{"showsettings", "never"}, {"showpdf", "no"}, {"suppresserrors", "Yes"},
                         {"output", sandbox.out + "/x.pdf"},
                         {"statusfile", sandbox.out + "/status.txt"},
                         {"runonerror", "echo ran >> " + test::Quoted(sandbox.out + "/onerror.txt")}});
  JobContext context;
  Startup(context, "ps=\"" + broken + "\" sessionid=quiet printer=Nimbra_Creator", ui);
  EXPECT_TRUE(context.suppressErrors);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(Contains(test::ReadStatusFile(sandbox.out + "/status.txt"), "  Errors=1\r\n"));
  EXPECT_EQ(test::WaitForLines(sandbox.out + "/onerror.txt", 1), 1);
  EXPECT_TRUE(InOrder(LogMessages(sandbox, "quiet"),
                      {"Ghostscript", "Run on error" + std::string("echo ran >> ") +
                                          test::Quoted(sandbox.out + "/onerror.txt")}));
  bool handlerLine = false;
  for (const auto& line : LogMessages(sandbox, "quiet")) {
    handlerLine = handlerLine || line.rfind("Error handler. Error 1007: ", 0) == 0;
  }
  EXPECT_TRUE(handlerLine);
}

TEST(MakePDF, DebugMarkerKeepsFilesAndAnnouncesTheTemporaryFolder) {
  for (bool runonce : {false, true}) {
    SCOPED_TRACE(runonce ? "settings from a one-shot file" : "persistent settings");
    Sandbox sandbox;
    std::ofstream(sandbox.app + "/debug.txt") << "";
    FakeUserInterface ui;
    ui.dialogsAvailable = false;
    const Settings settings = {{"showsettings", "never"}, {"output", sandbox.out + "/x.pdf"},
                               {"statusfile", sandbox.out + "/status.txt"}};
    sandbox.WriteSettings(settings, test::kPrinter, runonce ? "runonce" : "settings");
    JobContext context;
    Startup(context, "ps=\"" + kTwoPages + "\" sessionid=dbg printer=Nimbra_Creator", ui);
    EXPECT_EQ(context.runonceUsed, runonce);
    EXPECT_EQ(test::PdfInfoField(sandbox.out + "/x.pdf", "Pages"), "2");
    // The capture file of the rendering pass and the run's other files stay.
    for (const char* suffix : {"_params.out", "_params.gs", "_patched.ps", "_header.ps",
                               "_printer.pdf", "_printer.log"}) {
      EXPECT_TRUE(test::Exists(sandbox.TempFolder() + "/dbg" + suffix)) << suffix;
    }
    if (runonce) {
      EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    } else {
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].text,
                "Debugging is enabled. The folder for temporary files will now open.");
      EXPECT_EQ(ui.messages[0].icon, MessageIcon::kInformation);
    }
  }
}

// A one-page PDF whose text is "Existing page", made directly with Ghostscript.
std::string ExistingPdf(const Sandbox& sandbox) {
  const std::string ps = sandbox.out + "/existing.ps", pdf = sandbox.out + "/existing.pdf";
  std::ofstream(ps) << "%!PS\n/Helvetica findfont 36 scalefont setfont 72 700 moveto "
                       "(Existing page) show showpage\n";
  test::CommandOutput("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sOutputFile=" +
                      test::Quoted(pdf) + " " + test::Quoted(ps));
  return pdf;
}

TEST(MakePDF, AppendPassPutsTheNewPagesWhereTheSettingsSay) {
  struct Case {
    const char* position;
    std::vector<std::string> order;
  };
  const std::vector<Case> cases = {
      {"TOP", {"First page", "Second page", "Existing page"}},
      {"bottom", {"Existing page", "First page", "Second page"}},
      {"", {"Existing page", "First page", "Second page"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    Sandbox sandbox;
    FakeUserInterface ui;
    const std::string pdf = sandbox.out + "/merged.pdf";
    RunJob(sandbox, ui, {{"showsettings", "never"}, {"output", pdf}, {"debug", "yes"},
                         {"mergefile", " " + ExistingPdf(sandbox) + " "},
                         {"mergeposition", c.position}});
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].text;
    EXPECT_EQ(test::PdfInfoField(pdf, "Pages"), "3");
    const std::string text = test::PdfText(pdf);
    std::size_t at = 0;
    for (const auto& part : c.order) {
      std::size_t found = text.find(part, at);
      ASSERT_NE(found, std::string::npos) << part << " in " << text;
      at = found;
    }
    EXPECT_TRUE(InOrder(LogMessages(sandbox, "job"),
                        {"Ghostscript", "Merge parameters: " + sandbox.TempFolder() +
                                            "/job_me_param.gs"}));
  }
}

TEST(MakePDF, MissingMergeFileIsSkippedAndTheOutputStillEncrypted) {
  Sandbox sandbox;
  FakeUserInterface ui;
  const std::string pdf = sandbox.out + "/secret.pdf";
  RunJob(sandbox, ui, {{"showsettings", "never"}, {"output", pdf}, {"debug", "yes"},
                       {"mergefile", sandbox.out + "/missing.pdf"},
                       {"ownerpassword", "owner"}, {"userpassword", "user"}});
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(test::PdfInfoField(pdf, "Pages"), "");  // does not open without a password
  EXPECT_EQ(test::PdfInfoField(pdf, "Pages", "owner"), "2");
  for (const auto& line : LogMessages(sandbox, "job")) {
    EXPECT_FALSE(Contains(line, "Merge parameters")) << line;
  }
}

}  // namespace
}  // namespace nimbra
