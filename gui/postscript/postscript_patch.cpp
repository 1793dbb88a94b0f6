#include "gui/postscript/postscript_patch.h"

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <string_view>

#include "gui/postscript/line_reader.h"
#include "gui/postscript/page_setup.h"
#include "gui/postscript/postscript_header.h"
#include "gui/postscript/postscript_properties.h"
#include "gui/postscript/stamp.h"
#include "gui/postscript/superimpose.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/files.h"
#include "settings/log.h"
#include "settings/settings_keys.h"

namespace nimbra {

namespace {

constexpr int kLinesPerYield = 1000;
constexpr std::int64_t kMaxPages = 32767;  // pages are counted in 16 bits
constexpr long kOverflow = 6;

class OutputFile {
 public:
  explicit OutputFile(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) throw SystemError(errno, path);
  }
  ~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Write(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
      throw SystemError(errno, path_);
    }
  }
  void Close() {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) throw SystemError(errno, path_);
  }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};

// A DSC value stays on its comment line: a line break in a title must not end the comment and
// let the rest run as PostScript.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace

void PatchPostScriptFile(const Dictionary& jobSettings, const std::string& epsPattern,
                         const std::string& patchedFile, const std::string& postScriptFile) {
  WriteLog("Begin PatchPostScriptFile");
  const bool stampUnderPage = WatermarkLayer(jobSettings) == "bottom" && WatermarkEnabled(jobSettings);
  DictionaryPtr pageMap;
  if (SuperimposeEnabled(jobSettings)) {
    WriteLog("GetPageCount: " + postScriptFile);
    const std::int64_t pages = GetPageCount(postScriptFile);
    WriteLog("MakeSuperimposePageMap: " + epsPattern);
    pageMap = MakeSuperimposePageMap(jobSettings, epsPattern, pages);
  }

  WriteLog("Open: " + postScriptFile);
  LineReader input(postScriptFile);
  WriteLog("Open: " + patchedFile);
  OutputFile output(patchedFile);

  const std::string title = "%%Title: " + OneLine(jobSettings.Item("title"));
  const std::string author = "%%For: " + OneLine(jobSettings.Item("author"));
  std::int64_t pageCounter = 0;
  std::int64_t lineCounter = 0;
  std::string line;
  std::string ending;
  std::string lastEnding = "\n";
  while (input.Next(line, ending)) {
    if (++lineCounter % kLinesPerYield == 0) ProcessPendingEvents();
    lastEnding = ending;
    if (pageCounter == 0 && line.starts_with("%%Title:")) {
      output.Write(title);
      output.Write(ending);
      continue;
    }
    if (pageCounter == 0 && line.starts_with("%%For:")) {
      output.Write(author);
      output.Write(ending);
      continue;
    }
    output.Write(line);
    output.Write(ending);
    if (!line.starts_with("%%Page:")) continue;

    if (++pageCounter > kMaxPages) throw Error(kOverflow, "Overflow", "PatchPostScriptFile");
    std::string background;
    if (pageMap) {
      const std::string eps = pageMap->Item(std::to_string(pageCounter));
      if (!eps.empty()) background = ReadFile(eps);
    }
    if (background.empty() && !stampUnderPage) continue;
    // A line that ended with nothing (the file's last line) must not run into the insert.
    if (ending.empty()) output.Write("\r\n");
    if (background.empty()) {
      output.Write(kNoBackground);
      output.Write("\r\n");
    } else {
      output.Write(background);
      if (!background.ends_with('\n')) output.Write("\r\n");
    }
    output.Write(PageDrawingCall(stampUnderPage));
    output.Write("\r\n");
  }
  // The document's own DSC comments (title, author, creator) override document information
  // given before the document; this copy after it makes the job's information win.
  if (lastEnding.empty()) output.Write("\r\n");
  output.Write(MakeDocInfoMark(jobSettings));
  WriteLog("Close files");
  output.Close();
  WriteLog("End PatchPostScriptFile");
}

}  // namespace nimbra
