#pragma once
// Opening the finished document with the desktop's default application, and telling the user
// when that is not possible.
#include <functional>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace nimbra {

class UserInterface;

// What opens a document; ShellOpenWithStatus (xdg-open) unless a test passes its own.
using DocumentOpener = std::function<ShellOpenStatus(std::string_view)>;

// The message for a document that could not be opened ("" for kOpened): no association and a
// name not ending in ".pdf" asks for the extension; no association for a ".pdf" asks for a PDF
// reader; any other failure says the document could not be opened.
std::string ShowDocumentMessage(const std::string& path, ShellOpenStatus status);

// Opens `path`; on failure shows ShowDocumentMessage with the exclamation icon. Never throws.
void ShowDocument(const std::string& path, UserInterface& ui,
                  const DocumentOpener& open = ShellOpenWithStatus);

}  // namespace nimbra
