#include "render_world_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "gui/render/ghostscript_version_cache.h"
#include "platform/files.h"
#include "settings/folders.h"
#include "settings/log.h"

namespace nimbra::test {

using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

RenderWorld::RenderWorld() {
  root_ = scratch_.Path();
  std::filesystem::create_directories(Path("home/.config"));
  std::filesystem::create_directories(Path("tmp"));
  SetEnv("HOME", Path("home"));
  SetEnv("XDG_CONFIG_HOME", Path("home/.config"));
  SetEnv("TMPDIR", Path("tmp"));
  SetEnv("NIMBRA_REGISTRY", Path("registry.reg"));
  WriteFileBytes(Path("registry.reg"), "");
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
  ForgetGhostscriptVersionForTesting();
  SetLogSessionId("render-test");
}

RenderWorld::~RenderWorld() {
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
}

void RenderWorld::SetEnv(const char* name, const std::string& value) { env_.Set(name, value); }

void RenderWorld::SetGhostscriptFolder(const std::string& folder) {
  std::string escaped;
  for (char c : folder) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  WriteFileBytes(Path("registry.reg"),
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings]\n"
                "\"ghostscriptfolder\"=\"" + escaped + "\"\n");
}

std::string RenderWorld::MakeFakeGhostscript(const std::string& folderName,
                                             const std::string& body) {
  const std::string folder = Path(folderName);
  std::filesystem::create_directories(folder);
  WriteFileBytes(folder + "/gs", "#!/bin/sh\n" + body + "\n");
  ::chmod((folder + "/gs").c_str(), 0755);
  return folder;
}

std::string RenderWorld::Log() const {
  const std::string path = LogFileName();
  return PathExists(path) ? ReadFileBytes(path) : std::string();
}

std::string ShellQuote(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

ToolResult RunTool(const std::string& commandLine) {
  ToolResult result;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string PostScriptPages(int pages, const std::string& title) {
  std::string ps = "%!PS-Adobe-3.0\n%%Title: " + title + "\n%%Pages: " +
                   std::to_string(pages) + "\n%%EndComments\n";
  for (int n = 1; n <= pages; ++n) {
    ps += "%%Page: " + std::to_string(n) + " " + std::to_string(n) + "\n";
    ps += "/Helvetica findfont 24 scalefont setfont 72 700 moveto (Page " + std::to_string(n) +
          ") show showpage\n";
  }
  return ps + "%%EOF\n";
}

std::string PageReportProgram() {
  // EndPage gets the number of pages shown so far and the reason; page n is that number + 1.
  return "<< /EndPage { 1 index 1 add exch 2 ne dup\n"
         "  { (%%[Page: ) print exch 20 string cvs print (]%%\\n) print flush } { exch pop } ifelse\n"
         "  exch pop } bind >> setpagedevice\n";
}

}  // namespace nimbra::test
