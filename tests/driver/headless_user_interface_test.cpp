// The user interface without a display: messages on standard error and in the log, unattended
// answers, no dialogs.
#include "gui/driver/headless_user_interface.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "sandbox_support.h"
#include "settings/log.h"

namespace nimbra {
namespace {

TEST(HeadlessUserInterface, MessageGoesToTheStreamAndTheLogWithCaptionAndIconWord) {
  struct Case {
    const char* text;
    MessageIcon icon;
    const char* shown;
  };
  const std::vector<Case> cases = {
      {"Line1\rLine2", MessageIcon::kCritical, "Nimbra Creator [error]\nLine1\nLine2\n"},
      {"a\r\nb\nc", MessageIcon::kExclamation, "Nimbra Creator [exclamation]\na\nb\nc\n"},
      {"Готово", MessageIcon::kInformation, "Nimbra Creator [information]\nГотово\n"},
      {"?", MessageIcon::kQuestion, "Nimbra Creator [question]\n?\n"},
  };
  for (const auto& c : cases) {
    test::Sandbox sandbox;
    SetLogSessionId("ui");
    std::ostringstream out;
    HeadlessUserInterface ui(&out);
    ui.ShowMessage(c.text, c.icon);
    EXPECT_EQ(out.str(), c.shown);
    const std::string log = test::ReadAll(sandbox.LogFile("ui"));
    std::string shown = c.shown;
    const std::string logged = shown.replace(shown.find('\n'), 1, ": ");
    EXPECT_NE(log.find(logged.substr(0, logged.size() - 1) + "\r\n"), std::string::npos) << log;
  }
}

TEST(HeadlessUserInterface, NobodyIsAskedAndNoDialogOpens) {
  test::Sandbox sandbox;
  std::ostringstream out;
  HeadlessUserInterface ui(&out);
  EXPECT_FALSE(ui.DialogsAvailable());
  EXPECT_EQ(ui.ShowMessage("q", MessageIcon::kQuestion, MessageButtons::kYesNo), MessageResult::kNo);
  EXPECT_EQ(ui.ShowMessage("r", MessageIcon::kExclamation, MessageButtons::kRetryCancel),
            MessageResult::kCancel);
  EXPECT_EQ(ui.ShowMessage("o", MessageIcon::kInformation, MessageButtons::kOkCancel),
            MessageResult::kCancel);
  EXPECT_EQ(ui.ShowMessage("i", MessageIcon::kInformation, MessageButtons::kOk), MessageResult::kOk);
  EXPECT_EQ(ui.SaveAs("/tmp/x.pdf", true, true), "");
  Dictionary settings;
  settings.Set("output", "x");
  EXPECT_FALSE(ui.EditJobSettings(settings));
  EXPECT_EQ(settings.Item("output"), "x");
  // There is no balloon that anyone would wait for.
  ui.ShowBalloonTip("/tmp/x.pdf", 1);
  EXPECT_TRUE(ui.BalloonClosed());
}

}  // namespace
}  // namespace nimbra
