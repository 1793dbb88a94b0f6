#pragma once
// A scripted user interface for the driver tests: records every call and answers from a script.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/dictionary.h"
#include "platform/user_interface.h"

namespace nimbra::test {

struct ShownMessage {
  std::string text;
  MessageIcon icon;
  MessageButtons buttons;
  bool setForeground;
};

class FakeUserInterface : public UserInterface {
 public:
  // Dialogs count as available unless switched off.
  bool dialogsAvailable = true;
  // Answers for ShowMessage in order; when empty, OK for OK-only messages, else Cancel/No.
  std::deque<MessageResult> messageAnswers;
  // Answers for SaveAs in order; when empty, the proposed name.
  std::deque<std::string> saveAsAnswers;
  // Called by EditJobSettings (may edit the settings); its result is the dialog's result.
  std::function<bool(Dictionary&)> editSettings = [](Dictionary&) { return true; };

  std::vector<ShownMessage> messages;
  std::vector<std::string> tips;
  std::vector<std::string> calls;  // tray and balloon calls in order, e.g. "ShowTrayIcon"
  std::vector<std::string> balloons;
  int settingsDialogs = 0;
  int saveAsDialogs = 0;
  int processEvents = 0;

  bool DialogsAvailable() const override { return dialogsAvailable; }
  MessageResult ShowMessage(std::string_view text, MessageIcon icon, MessageButtons buttons,
                            bool setForeground) override;
  std::string SaveAs(std::string_view proposedName, bool confirmOverwrite,
                     bool setForeground) override;
  bool EditJobSettings(Dictionary& settings) override;
  void SetTip(std::string_view tipText) override;
  void ShowTrayIcon() override { calls.push_back("ShowTrayIcon"); }
  void HideTrayIcon() override { calls.push_back("HideTrayIcon"); }
  void ShowBalloonTip(std::string_view fileName, long pageCount) override;
  bool BalloonClosed() const override { return true; }
  void ProcessEvents() override { ++processEvents; }
};

}  // namespace nimbra::test
