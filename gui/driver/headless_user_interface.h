#pragma once
// The user interface when no display is reachable: no dialog can be shown, so the job runs
// unattended; a message goes to standard error and to the run's log, with the product name as
// caption and the icon as a word; questions get their "no" answer; the tray does nothing.
#include <ostream>

#include "platform/user_interface.h"

namespace nimbra {

class HeadlessUserInterface : public UserInterface {
 public:
  // Messages are written to `out` (standard error by default).
  explicit HeadlessUserInterface(std::ostream* out = nullptr);

  bool DialogsAvailable() const override { return false; }
  MessageResult ShowMessage(std::string_view text, MessageIcon icon,
                            MessageButtons buttons = MessageButtons::kOk,
                            bool setForeground = true) override;
  std::string SaveAs(std::string_view proposedName, bool confirmOverwrite,
                     bool setForeground) override;
  bool EditJobSettings(Dictionary& settings) override;
  void SetTip(std::string_view) override {}
  void ShowTrayIcon() override {}
  void HideTrayIcon() override {}
  void ShowBalloonTip(std::string_view, long) override {}
  // There is no balloon to wait for.
  bool BalloonClosed() const override { return true; }
  void ProcessEvents() override {}

 private:
  std::ostream* out_;
};

// The word written for an icon: "information", "error", "exclamation" or "question".
const char* IconWord(MessageIcon icon);

// The answer a message gets when nobody can be asked: OK for OK alone, else the "no" choice.
MessageResult UnattendedAnswer(MessageButtons buttons);

}  // namespace nimbra
