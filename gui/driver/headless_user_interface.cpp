#include "gui/driver/headless_user_interface.h"

#include <iostream>
#include <string>

#include "gui/driver/startup.h"
#include "settings/log.h"

namespace nimbra {
namespace {

// Message texts carry Windows-style breaks (CR LF, and a lone CR from the "\n" escape of a
// monitor message); a terminal and a log show each of them as one line break.
std::string WithLineFeeds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

const char* IconWord(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kCritical:
      return "error";
    case MessageIcon::kExclamation:
      return "exclamation";
    case MessageIcon::kQuestion:
      return "question";
    case MessageIcon::kInformation:
      break;
  }
  return "information";
}

MessageResult UnattendedAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOk:
      return MessageResult::kOk;
    case MessageButtons::kYesNo:
      return MessageResult::kNo;
    case MessageButtons::kOkCancel:
    case MessageButtons::kRetryCancel:
      break;
  }
  return MessageResult::kCancel;
}

HeadlessUserInterface::HeadlessUserInterface(std::ostream* out) : out_(out ? out : &std::cerr) {}

MessageResult HeadlessUserInterface::ShowMessage(std::string_view text, MessageIcon icon,
                                                 MessageButtons buttons, bool) {
  std::string caption = std::string(kProductName) + " [" + IconWord(icon) + "]";
  std::string body = WithLineFeeds(text);
  *out_ << caption << '\n' << body << '\n';
  out_->flush();
  TryWriteLog(caption + ": " + body);
  return UnattendedAnswer(buttons);
}

std::string HeadlessUserInterface::SaveAs(std::string_view, bool, bool) { return {}; }

bool HeadlessUserInterface::EditJobSettings(Dictionary&) { return false; }

}  // namespace nimbra
