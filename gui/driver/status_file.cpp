#include "gui/driver/status_file.h"

#include "platform/error.h"
#include "platform/files.h"
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

void AppendUnit(std::string& out, char32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>((unit >> 8) & 0xFF);
}

// Decodes one UTF-8 sequence at text[i]; advances i. Invalid input gives U+FFFD and one byte.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  std::size_t length;
  char32_t cp;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + length > text.size()) {
    ++i;
    return 0xFFFD;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not characters.
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += length;
  return cp;
}

}  // namespace

std::string Utf8ToUtf16Le(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = NextCodePoint(text, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUnit(out, 0xD800 + (cp >> 10));
      AppendUnit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      AppendUnit(out, cp);
    }
  }
  return out;
}

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
