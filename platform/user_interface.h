#pragma once
// The one way the program reaches the person at the screen: message boxes, the Save As dialog,
// the per-job settings dialog, the tray icon with its balloon, and the event loop that keeps them
// alive during long waits. Three implementations exist: the Qt one (a display is reachable),
// the headless one (no display: dialogs are not available, messages go to stderr and the log),
// and the scripted fakes of the tests. Nothing here knows which toolkit is behind it.
#include <string>
#include <string_view>

namespace nimbra {

class Dictionary;

enum class MessageIcon { kInformation, kCritical, kExclamation, kQuestion };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kRetryCancel };
enum class MessageResult { kOk, kCancel, kYes, kNo, kRetry };

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // False when no dialog can be shown (headless): a dialog that would be shown counts as not
  // available and the job goes on unattended; a question is answered with its "no" choice.
  virtual bool DialogsAvailable() const = 0;

  // A message box with the product name as caption. `setForeground` brings it to the front.
  // Headless: writes the message to stderr and answers kOk / kNo / kCancel without waiting.
  virtual MessageResult ShowMessage(std::string_view text, MessageIcon icon,
                                    MessageButtons buttons = MessageButtons::kOk,
                                    bool setForeground = true) = 0;

  // The Save As dialog of a job: returns the chosen file name, or "" when cancelled.
  virtual std::string SaveAs(std::string_view proposedName, bool confirmOverwrite,
                             bool setForeground) = 0;

  // The per-job settings dialog, modal on the job's settings (which it edits in place).
  // Returns true when the person accepted it.
  virtual bool EditJobSettings(Dictionary& settings) = 0;

  // Tray icon and balloon. Headless: no-ops.
  virtual void SetTip(std::string_view tipText) = 0;
  virtual void ShowTrayIcon() = 0;
  virtual void HideTrayIcon() = 0;
  // Shows the completion balloon for the finished file; `balloonClosed` becomes true once the
  // person or the system closed it (see BalloonClosed()).
  virtual void ShowBalloonTip(std::string_view fileName, long pageCount) = 0;
  virtual bool BalloonClosed() const = 0;

  // Lets pending window events run; called between the 50 ms steps of every long wait.
  virtual void ProcessEvents() = 0;
};

}  // namespace nimbra
