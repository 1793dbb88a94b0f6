// The settings step of a job: which dialogs are shown, what the Save As and per-job dialog
// results do to the settings, the remembered file and folder names, and the headless run.
#include "settings/resolve_job_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "scripted_settings_ui_support.h"
#include "settings/script_engine.h"
#include "settings/settings_store.h"
#include "settings_test_env_support.h"

namespace nimbra {
namespace {

using test::ScriptedSettingsUi;
using test::SettingsTestEnvironment;

constexpr char kPrinter[] = "Nimbra_Creator";

class ResolveJobSettingsTest : public ::testing::Test {
 protected:
  ResolveJobSettingsTest() {
    outFolder_ = env_.Root() + "/out";
    ::mkdir(outFolder_.c_str(), 0755);
  }

  // Writes the persistent settings of the printer from "key=value" lines.
  void Settings(const std::vector<std::string>& lines) {
    std::string text = "[PDF Printer]\r\n";
    for (const auto& line : lines) text += "  " + line + "\r\n";
    env_.Write(env_.DataFolder() + "/settings@Nimbra_Creator.ini", text);
  }

  JobSettingsResult Resolve(std::string title = "Report") {
    JobSettingsRequest request;
    request.printerName = kPrinter;
    request.documentName = "report.odt";
    request.documentProperties = Dictionary::New();
    request.documentProperties->Set("title", title);
    request.documentProperties->Set("author", "Ann");
    return ResolveJobSettings(request, ui_);
  }

  SettingsTestEnvironment env_;
  ScriptedSettingsUi ui_;
  std::string outFolder_;
};

TEST_F(ResolveJobSettingsTest, WhichDialogsAreShown) {
  struct Case {
    std::string showsaveas;  // "-" = absent
    std::string showsettings;
    std::string output;  // "{out}" = an existing folder
    bool dialogsAvailable;
    bool saveAsShown;
    bool settingsShown;
  };
  const std::vector<Case> cases = {
      {"nofile", "never", "{out}", true, true, false},
      {"nofile", "never", "{out}/doc.pdf", true, false, false},
      {"nofile", "never", "", true, true, false},
      {"-", "never", "{out}", true, true, false},
      {"-", "never", "{out}/doc.pdf", true, false, false},
      {"always", "never", "{out}/doc.pdf", true, true, false},
      {"ALWAYS", "NEVER", "{out}/doc.pdf", true, true, false},
      {"never", "never", "{out}", true, false, false},
      {"never", "-", "{out}/doc.pdf", true, false, true},  // showsettings absent: shown
      {"never", "", "{out}/doc.pdf", true, false, true},
      {"never", "always", "{out}/doc.pdf", true, false, true},
      {"never", "sometimes", "{out}/doc.pdf", true, false, true},
      // Headless: nothing can be shown, whatever the settings say.
      {"always", "always", "{out}", false, false, false},
      {"-", "-", "", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.showsaveas + "/" + c.showsettings + "/" + c.output +
                 (c.dialogsAvailable ? "" : " headless"));
    std::vector<std::string> lines = {"showpdf=no"};
    if (c.showsaveas != "-") lines.push_back("showsaveas=" + c.showsaveas);
    if (c.showsettings != "-") lines.push_back("showsettings=" + c.showsettings);
    std::string output = c.output;
    if (output.rfind("{out}", 0) == 0) output = outFolder_ + output.substr(5);
    lines.push_back("output=" + output);
    Settings(lines);
    ui_ = ScriptedSettingsUi();
    ui_.dialogsAvailable = c.dialogsAvailable;
    ui_.saveAsAnswer = "/chosen/doc.pdf";

    const JobSettingsResult result = Resolve();
    EXPECT_TRUE(result.proceed);
    EXPECT_EQ(ui_.saveAsCalls.size(), c.saveAsShown ? 1u : 0u);
    EXPECT_EQ(ui_.settingsDialogs, c.settingsShown ? 1 : 0);
    EXPECT_TRUE(ui_.messages.empty());
  }
}

TEST_F(ResolveJobSettingsTest, SaveAsChoiceBecomesTheOutputAndItsFolderIsRemembered) {
  Settings({"showsaveas=always", "showsettings=never", "showpdf=no", "output=/x/doc.pdf",
            "confirmoverwrite=No"});
  ui_.saveAsAnswer = "/chosen/place/final.pdf";
  const JobSettingsResult result = Resolve();
  ASSERT_EQ(ui_.saveAsCalls.size(), 1u);
  EXPECT_EQ(ui_.saveAsCalls[0].proposedName, "/x/doc.pdf");
  EXPECT_FALSE(ui_.saveAsCalls[0].confirmOverwrite);
  EXPECT_TRUE(result.proceed);
  EXPECT_EQ(result.settings->Item("output"), "/chosen/place/final.pdf");
  EXPECT_EQ(result.chosenOutputName, "/chosen/place/final.pdf");
  // rememberlastfoldername is on by default, rememberlastfilename off.
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfoldername", "?"), "/chosen/place/");
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfilename", "?"), "?");
}

TEST_F(ResolveJobSettingsTest, CancelledSaveAsWithoutSettingsDialogLeavesNoOutput) {
  Settings({"showsaveas=always", "showsettings=never", "showpdf=ask", "output=/x/doc.pdf"});
  ui_.saveAsAnswer = "";
  const JobSettingsResult result = Resolve();
  EXPECT_TRUE(result.proceed);
  EXPECT_EQ(result.settings->Item("output"), "");
  EXPECT_EQ(result.chosenOutputName, "");
  EXPECT_TRUE(ui_.messages.empty());  // no output: no question about opening it
}

TEST_F(ResolveJobSettingsTest, CancelledSaveAsBeforeTheSettingsDialogKeepsTheProposal) {
  Settings({"showsaveas=always", "output=/x/doc.pdf", "rememberlastfoldername=no"});
  ui_.saveAsAnswer = "";
  std::string seenByDialog;
  ui_.editSettings = [&](Dictionary& settings) {
    seenByDialog = settings.Item("output");
    return true;
  };
  const JobSettingsResult result = Resolve();
  EXPECT_TRUE(result.proceed);
  EXPECT_EQ(seenByDialog, "/x/doc.pdf");
  EXPECT_EQ(result.settings->Item("output"), "/x/doc.pdf");
}

TEST_F(ResolveJobSettingsTest, SettingsDialogDecidesAndItsEditsAreRemembered) {
  Settings({"showsaveas=never", "rememberlastfilename=yes", "output=/x/doc.pdf"});
  ui_.editSettings = [](Dictionary& settings) {
    settings.Set("output", "/edited/folder/new.pdf");
    return true;
  };
  JobSettingsResult result = Resolve();
  EXPECT_TRUE(result.proceed);
  EXPECT_EQ(result.settings->Item("output"), "/edited/folder/new.pdf");
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfilename", ""), "new.pdf");
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfoldername", ""), "/edited/folder/");

  // Cancelled: the job does not go on and nothing is remembered.
  ui_.editSettings = [](Dictionary& settings) {
    settings.Set("output", "/cancelled/other.pdf");
    return false;
  };
  result = Resolve();
  EXPECT_FALSE(result.proceed);
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfilename", ""), "new.pdf");
  EXPECT_EQ(GetUserSetting(kPrinter, "lastfoldername", ""), "/edited/folder/");
}

TEST_F(ResolveJobSettingsTest, RememberedNamesShapeTheProposal) {
  struct Case {
    std::string flags;  // rememberlastfilename/rememberlastfoldername
    std::string output;
    std::string lastFile, lastFolder;
    std::string proposed;
  };
  const std::vector<Case> cases = {
      {"yes/no", "/cfg/doc.pdf", "last.pdf", "", "/cfg/last.pdf"},
      {" YES /no", "/cfg/doc.pdf", "last.pdf", "", "/cfg/last.pdf"},  // trimmed
      {"yes/no", "/cfg/doc.pdf", "", "", "/cfg/doc.pdf"},
      {"no/yes", "/cfg/doc.pdf", "", "/saved/", "/saved/doc.pdf"},
      {"no/yes", "/cfg/doc.pdf", "", "/saved///", "/saved/doc.pdf"},
      {"no/yes", "/cfg/doc.pdf", "", "", "/cfg/doc.pdf"},
      {"yes/yes", "/cfg/doc.pdf", "last.pdf", "/saved/", "/saved/last.pdf"},
      {"no/no", "/cfg/doc.pdf", "last.pdf", "/saved/", "/cfg/doc.pdf"},
      // An output that is a folder keeps the whole folder for the last file name.
      {"yes/no", "{out}", "last.pdf", "", "{out}/last.pdf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags + " " + c.output);
    const auto slash = c.flags.find('/');
    std::string output = c.output == "{out}" ? outFolder_ : c.output;
    Settings({"showsaveas=always", "showsettings=never", "showpdf=no", "output=" + output,
              "rememberlastfilename=" + c.flags.substr(0, slash),
              "rememberlastfoldername=" + c.flags.substr(slash + 1)});
    const std::string userFile = UserSettingsFile(kPrinter);
    std::remove(userFile.c_str());
    if (!c.lastFile.empty()) SetUserSetting(kPrinter, "lastfilename", c.lastFile);
    if (!c.lastFolder.empty()) SetUserSetting(kPrinter, "lastfoldername", c.lastFolder);
    ui_ = ScriptedSettingsUi();
    ui_.saveAsAnswer = "/chosen/x.pdf";
    Resolve();
    ASSERT_EQ(ui_.saveAsCalls.size(), 1u);
    std::string proposed = c.proposed;
    if (proposed.rfind("{out}", 0) == 0) proposed = outFolder_ + proposed.substr(5);
    EXPECT_EQ(ui_.saveAsCalls[0].proposedName, proposed);
  }
}

TEST_F(ResolveJobSettingsTest, ShowPdfAskIsAQuestionWhenNoDialogIsShown) {
  Settings({"showsaveas=never", "showsettings=never", "output=/x/doc.pdf"});
  ui_.questionAnswer = MessageResult::kYes;
  JobSettingsResult result = Resolve();
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0], "Do you want to open the PDF document?\r\n\r\n/x/doc.pdf");
  EXPECT_EQ(result.settings->Item("showpdf"), "yes");

  ui_ = ScriptedSettingsUi();
  ui_.questionAnswer = MessageResult::kNo;
  result = Resolve();
  EXPECT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(result.settings->Item("showpdf"), "ask");

  // Headless the question counts as answered "no" without being asked.
  ui_ = ScriptedSettingsUi();
  ui_.dialogsAvailable = false;
  ui_.questionAnswer = MessageResult::kYes;
  result = Resolve();
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_EQ(result.settings->Item("showpdf"), "ask");
  EXPECT_TRUE(result.proceed);
}

TEST_F(ResolveJobSettingsTest, FlagsFileNameAndMacros) {
  env_.Write(env_.DataFolder() + "/runonce@Nimbra_Creator.ini",
             "[PDF Printer]\r\n  suppresserrors=YES\r\n  debug=yes\r\n  showsaveas=never\r\n"
             "  showsettings=never\r\n  showpdf=no\r\n  output=" +
                 outFolder_ + "//<title>.pdf\r\n  subject=<author>\r\n");
  const JobSettingsResult result = Resolve("Q3: why?");
  EXPECT_TRUE(result.runonceUsed);
  EXPECT_TRUE(result.suppressErrors);
  EXPECT_TRUE(result.debugMode);
  EXPECT_EQ(result.fileName, env_.DataFolder() + "/runonce@Nimbra_Creator.ini");
  EXPECT_EQ(result.settings->Item("output"), outFolder_ + "/Q3_ why_.pdf");
  EXPECT_EQ(result.settings->Item("title"), "Q3: why?");
  EXPECT_EQ(result.settings->Item("subject"), "Ann");

  // Next job: the one-shot file is gone, the flags come from the defaults.
  const JobSettingsResult next = Resolve();
  EXPECT_FALSE(next.runonceUsed);
  EXPECT_FALSE(next.suppressErrors);
  EXPECT_FALSE(next.debugMode);
}

// An engine that rejects every macro file.
class RejectingEngine : public ScriptEngine {
 public:
  void SetLanguage(std::string_view) override {}
  void AddObject(std::string_view, DictionaryPtr) override {}
  std::optional<ScriptError> AddCode(std::string_view) override {
    return ScriptError{13, "Type mismatch", 1, 0, "x"};
  }
  std::optional<std::string> Eval(std::string_view) override { return std::string(); }
};

TEST_F(ResolveJobSettingsTest, FlagsAreKnownWhenTheMacroExpansionFails) {
  ResetScriptEngineForTesting();
  SetScriptEngineFactory([] { return std::make_unique<RejectingEngine>(); });
  env_.Write(env_.AppFolder() + "/macros/m.vbs", "code\r\n");
  Settings({"suppresserrors=yes", "debug=yes", "title=<vbs:Title()>"});
  JobSettingsRequest request;
  request.printerName = kPrinter;
  JobSettingsResult result;
  try {
    ResolveJobSettings(request, ui_, result);
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 13);
  }
  SetScriptEngineFactory(nullptr);
  ResetScriptEngineForTesting();
  EXPECT_TRUE(result.suppressErrors);
  EXPECT_TRUE(result.debugMode);
  EXPECT_FALSE(result.proceed);
  ASSERT_TRUE(result.settings);
  EXPECT_EQ(result.fileName, env_.DataFolder() + "/settings@Nimbra_Creator.ini");
  EXPECT_TRUE(ui_.saveAsCalls.empty());
  EXPECT_EQ(ui_.settingsDialogs, 0);
}

TEST_F(ResolveJobSettingsTest, UnreadableSettingsStopTheJob) {
  ASSERT_EQ(::mkdir((env_.DataFolder() + "/settings@Nimbra_Creator.ini").c_str(), 0755), 0);
  try {
    Resolve();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 1002);
    EXPECT_EQ(e.Source(), "LoadConfig");
  }
  EXPECT_TRUE(ui_.saveAsCalls.empty());
}

}  // namespace
}  // namespace nimbra
