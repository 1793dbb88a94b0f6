#pragma once
// A scripted user interface for the settings tests: answers Save As, the per-job dialog and
// questions from a script and records what it was asked.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "platform/user_interface.h"

namespace nimbra::test {

class ScriptedSettingsUi : public UserInterface {
 public:
  struct SaveAsCall {
    std::string proposedName;
    bool confirmOverwrite;
  };

  bool dialogsAvailable = true;
  // Answer of the Save As dialog ("" = cancelled).
  std::string saveAsAnswer;
  // The per-job dialog: may edit the settings; its result is whether it was accepted.
  std::function<bool(Dictionary&)> editSettings = [](Dictionary&) { return true; };
  // Answer to questions.
  MessageResult questionAnswer = MessageResult::kNo;

  std::vector<SaveAsCall> saveAsCalls;
  int settingsDialogs = 0;
  std::vector<std::string> messages;

  bool DialogsAvailable() const override { return dialogsAvailable; }
  MessageResult ShowMessage(std::string_view text, MessageIcon, MessageButtons buttons,
                            bool) override {
    messages.emplace_back(text);
    return buttons == MessageButtons::kOk ? MessageResult::kOk : questionAnswer;
  }
  std::string SaveAs(std::string_view proposedName, bool confirmOverwrite, bool) override {
    saveAsCalls.push_back({std::string(proposedName), confirmOverwrite});
    return saveAsAnswer;
  }
  bool EditJobSettings(Dictionary& settings) override {
    ++settingsDialogs;
    return editSettings(settings);
  }
  void SetTip(std::string_view) override {}
  void ShowTrayIcon() override {}
  void HideTrayIcon() override {}
  void ShowBalloonTip(std::string_view, long) override {}
  bool BalloonClosed() const override { return true; }
  void ProcessEvents() override {}
};

}  // namespace nimbra::test
