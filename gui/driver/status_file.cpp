#include "gui/driver/status_file.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text_encoding.h"
#include "settings/log.h"
#include "settings/settings_store.h"

namespace nimbra {
namespace {

constexpr char kLineEnd[] = "\r\n";

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::string StatusFileText(bool success, const Dictionary& jobSettings, std::int32_t pageCount,
                           std::int32_t fileCount, std::string_view fileList) {
  std::string text;
  text += "[Status]";
  text += kLineEnd;
  text += std::string("  Errors=") + (success ? "0" : "1") + kLineEnd;
  text += "  PageCount=" + std::to_string(pageCount) + kLineEnd;
  text += "  FileCount=" + std::to_string(fileCount) + kLineEnd;
  text += kLineEnd;
  text += "[Files]";
  text += kLineEnd;
  // The pipeline joins the file lines with a line break; take either form, write CR LF.
  while (!fileList.empty()) {
    std::size_t end = fileList.find('\n');
    std::string_view line = fileList.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    text += line;
    text += kLineEnd;
    if (end == std::string_view::npos) break;
    fileList.remove_prefix(end + 1);
  }
  text += kLineEnd;
  text += GetConfigContent(jobSettings);
  return text;
}

void WriteStatusFile(bool success, const Dictionary& jobSettings, std::int32_t pageCount,
                     std::int32_t fileCount, std::string_view fileList) {
  std::string path(TrimBlanks(jobSettings.Item("statusfile")));
  if (path.empty()) return;
  try {
    WriteLog("Create status file " + path);
    WriteBytes(path, Utf8ToUtf16Le(
                         StatusFileText(success, jobSettings, pageCount, fileCount, fileList)));
  } catch (const Error& e) {
    throw Error(e.Number(),
                "Error writing status file '" + path + "'. Error " + std::to_string(e.Number()) +
                    ": " + e.Description(),
                "WriteStatusFile");
  }
}

}  // namespace nimbra
