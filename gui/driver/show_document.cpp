#include "gui/driver/show_document.h"

#include "platform/user_interface.h"
#include "settings/localisation.h"

namespace nimbra {
namespace {

bool EndsWithPdf(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  return tail == ".pdf";
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

}  // namespace

std::string ShowDocumentMessage(const std::string& path, ShellOpenStatus status) {
  switch (status) {
    case ShellOpenStatus::kOpened:
      return {};
    case ShellOpenStatus::kNoAssociation:
      if (!EndsWithPdf(path)) {
        return ReplaceAll(Localize("[L164]The program was unable to show the document. The "
                                   "extension of your document file name should be PDF. Please "
                                   "change that and try again.\n\nFile name: %1"),
                          "%1", path);
      }
      return Localize("[L125]The printer was unable to open the PDF document.\n\nMake sure you "
                      "have a PDF document reader installed on your computer.\n\nFree PDF "
                      "readers can be installed from your system's software centre or package "
                      "manager.");
    case ShellOpenStatus::kFailed:
      break;
  }
  // xdg-open reports no error code of its own beyond "no application" (above), so there is no
  // code and system text to name; the file is named instead.
  return Localize("[L126]Error opening the PDF Document.") +
         "\n\nThe desktop could not open '" + path + "' with its default application.";
}

void ShowDocument(const std::string& path, UserInterface& ui, const DocumentOpener& open) {
  ShellOpenStatus status;
  try {
    status = open(path);
  } catch (...) {
    status = ShellOpenStatus::kFailed;
  }
  std::string message = ShowDocumentMessage(path, status);
  if (message.empty()) return;
  try {
    ui.ShowMessage(message, MessageIcon::kExclamation);
  } catch (...) {
    // Showing the document is a courtesy: its failure must not fail the job.
  }
}

}  // namespace nimbra
