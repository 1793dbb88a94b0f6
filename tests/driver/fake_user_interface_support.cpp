#include "fake_user_interface_support.h"

namespace nimbra::test {

MessageResult FakeUserInterface::ShowMessage(std::string_view text, MessageIcon icon,
                                             MessageButtons buttons, bool setForeground) {
  messages.push_back({std::string(text), icon, buttons, setForeground});
  if (!messageAnswers.empty()) {
    MessageResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
  }
  switch (buttons) {
    case MessageButtons::kOk:
      return MessageResult::kOk;
    case MessageButtons::kYesNo:
      return MessageResult::kNo;
    default:
      return MessageResult::kCancel;
  }
}

std::string FakeUserInterface::SaveAs(std::string_view proposedName, bool, bool) {
  ++saveAsDialogs;
  if (saveAsAnswers.empty()) return std::string(proposedName);
  std::string r = saveAsAnswers.front();
  saveAsAnswers.pop_front();
  return r;
}

bool FakeUserInterface::EditJobSettings(Dictionary& settings) {
  ++settingsDialogs;
  return editSettings(settings);
}

void FakeUserInterface::SetTip(std::string_view tipText) {
  tips.emplace_back(tipText);
  calls.push_back("SetTip");
}

void FakeUserInterface::ShowBalloonTip(std::string_view fileName, long pageCount) {
  balloons.push_back(std::string(fileName) + " " + std::to_string(pageCount));
  calls.push_back("ShowBalloonTip");
}

}  // namespace nimbra::test
