// Start-up in-process with a scripted user interface: the three modes, the command-line errors
// and the error handler.
#include "gui/driver/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_user_interface_support.h"
#include "gui/driver/job_context.h"
#include "platform/error.h"
#include "sandbox_support.h"
#include "settings/log.h"

namespace nimbra {
namespace {

using test::FakeUserInterface;
using test::Sandbox;

struct GuiRun {
  FakeUserInterface ui;
  JobContext context;
  int exitCode = -1;
};

void RunWith(GuiRun& run, const std::string& commandLine) {
  run.exitCode = Startup(run.context, commandLine, run.ui);
}

TEST(Startup, MessageModeShowsTheDecodedMessageWithItsIcon) {
  struct Case {
    const char* commandLine;
    const char* text;
    MessageIcon icon;
  };
  const std::vector<Case> cases = {
      {R"(msg="Line1\nLine2", icon="error")", "Line1\rLine2", MessageIcon::kCritical},
      {R"(msg="C:\\temp", icon="ERROR")", R"(C:\temp)", MessageIcon::kCritical},
      {R"(msg="a\qb", icon="exclamation")", "aqb", MessageIcon::kExclamation},
      {R"(msg="x", icon="warning")", "x", MessageIcon::kInformation},
      {R"(msg="Say ""hi""")", R"(Say "hi")", MessageIcon::kInformation},
  };
  for (const auto& c : cases) {
    Sandbox sandbox;
    GuiRun run;
    RunWith(run, c.commandLine);
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.ui.messages.size(), 1u) << c.commandLine;
    EXPECT_EQ(run.ui.messages[0].text, c.text);
    EXPECT_EQ(run.ui.messages[0].icon, c.icon) << c.commandLine;
    EXPECT_TRUE(run.ui.messages[0].setForeground);
    // A message run without a session id logs into "_printer.log" and starts with the command line.
    std::string log = test::ReadAll(sandbox.LogFile(""));
    EXPECT_NE(log.find(std::string("Command Line: ") + c.commandLine), std::string::npos) << log;
  }
}

TEST(Startup, MissingPostScriptFileEndsInTheErrorHandlerWithoutStatusFile) {
  Sandbox sandbox;
  // Settings that would write a status file and run a program if they were loaded.
  const std::string status = sandbox.out + "/status.txt";
  const std::string marker = sandbox.out + "/ran.txt";
  sandbox.WriteSettings({{"statusfile", status}, {"runonerror", "touch " + marker},
                         {"showsettings", "never"}});
  GuiRun run;
  RunWith(run, "ps=/nonexistent.ps sessionid=abc printer=Nimbra_Creator");
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.ui.messages.size(), 1u);
  const auto& m = run.ui.messages[0];
  EXPECT_EQ(m.icon, MessageIcon::kCritical);
  EXPECT_EQ(m.text,
            "An error occured.\n\nError 1006: Unable to find postscript file "
            "'/nonexistent.ps'.\n\nRead PS file from parameters");
  const std::string log = test::ReadAll(sandbox.LogFile("abc"));
  EXPECT_NE(log.find("Error handler. Error 1006: Unable to find postscript file "
                     "'/nonexistent.ps'."),
            std::string::npos)
      << log;
  EXPECT_FALSE(test::Exists(status));
  EXPECT_FALSE(test::Exists(marker));
  EXPECT_EQ(run.context.jobSettings, nullptr);
}

TEST(Startup, DuplicateParameterIsReportedByName) {
  Sandbox sandbox;
  GuiRun run;
  RunWith(run, "ps=a.ps ps=b.ps");
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.ui.messages.size(), 1u);
  EXPECT_NE(run.ui.messages[0].text.find("Error 457: "), std::string::npos);
  EXPECT_NE(run.ui.messages[0].text.find("'ps'"), std::string::npos) << run.ui.messages[0].text;
  EXPECT_NE(run.ui.messages[0].text.find("Parse command line"), std::string::npos);
}

TEST(Startup, WithoutAJobTheOptionsModeSaysWhatItCanDo) {
  struct Case {
    const char* commandLine;
    bool disabled;  // disableoptiondialog=yes in the settings of the printer
    const char* expected;
  };
  const char* notYet = "The options dialog is not yet available";
  const std::vector<Case> cases = {
      {"", false, notYet},
      {R"(PS="x.ps")", false, notYet},               // an unknown name is no job
      {"ps=%PS% sessionid=s", false, notYet},       // a job without a printer
      {"printer=Nimbra_Creator", true, "Options dialog is disabled."},
      {"printer=Nimbra_Creator", false, notYet},
  };
  for (const auto& c : cases) {
    Sandbox sandbox;
    const std::string ps = sandbox.out + "/job.ps";
    test::CommandOutput("cp " + test::Quoted(std::string(NIMBRA_TEST_DATA) + "/plain.ps") + " " +
                        test::Quoted(ps));
    if (c.disabled) sandbox.WriteSettings({{"disableoptiondialog", " YES "}});
    // A pending one-shot file must survive: options mode does not consume it.
    sandbox.WriteSettings({{"output", "x"}}, test::kPrinter, "runonce");
    std::string commandLine = c.commandLine;
    if (auto at = commandLine.find("%PS%"); at != std::string::npos) commandLine.replace(at, 4, ps);
    GuiRun run;
    RunWith(run, commandLine);
    ASSERT_EQ(run.ui.messages.size(), 1u) << commandLine;
    EXPECT_EQ(run.ui.messages[0].icon, MessageIcon::kInformation);
    EXPECT_EQ(run.ui.messages[0].text.rfind(c.expected, 0), 0u) << run.ui.messages[0].text;
    EXPECT_TRUE(test::Exists(sandbox.DataFolder() + "/runonce@Nimbra_Creator.ini"));
    EXPECT_EQ(run.context.jobSettings, nullptr);
  }
}

TEST(Startup, ErrorHandlerFinishesWhenTheLogCannotBeWritten) {
  Sandbox sandbox;
  SetLogOpenTimeoutForTesting(std::chrono::milliseconds(200));
  // The log's name is taken by a folder with content: it can be neither removed nor opened.
  const std::string blocked = sandbox.LogFile("blocked");
  std::filesystem::create_directories(blocked + "/inside");
  GuiRun run;
  RunWith(run, R"(msg="hello", sessionid="blocked")");
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.ui.messages.size(), 1u);
  EXPECT_EQ(run.ui.messages[0].icon, MessageIcon::kCritical);
  EXPECT_NE(run.ui.messages[0].text.find("log file"), std::string::npos) << run.ui.messages[0].text;
  // The handler went on past its failed log line: it hid the tray icon at the end.
  ASSERT_FALSE(run.ui.calls.empty());
  EXPECT_EQ(run.ui.calls.back(), "HideTrayIcon");
  SetLogOpenTimeoutForTesting(std::chrono::seconds(20));
}

TEST(Startup, VeryLongCommandLineGivesAClearResult) {
  Sandbox sandbox;
  {
    GuiRun run;  // a 100 000-character path that does not exist
    RunWith(run, "ps=\"/" + std::string(100000, 'p') + "\" sessionid=long printer=P");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.ui.messages.size(), 1u);
    EXPECT_NE(run.ui.messages[0].text.find("Error 1006"), std::string::npos);
  }
  {
    GuiRun run;  // a 100 000-character message
    RunWith(run, "msg=\"" + std::string(100000, 'm') + "\"");
    ASSERT_EQ(run.ui.messages.size(), 1u);
    EXPECT_EQ(run.ui.messages[0].text.size(), 100000u);
  }
}

}  // namespace
}  // namespace nimbra
