#pragma once
// A private world for one rendering test: a fresh temporary folder that holds TMPDIR (so the
// run's log and temporary files land there), HOME, the XDG config folder and a registry file of
// its own. The environment and the process caches are restored afterwards. Also the helpers to
// make fake Ghostscript programs (for failures real Ghostscript cannot be made to show) and to
// run the real PDF tools that check the results.
#include <string>

#include "tests/support/env_guard.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scratch_folder.h"

namespace nimbra::test {

class RenderWorld {
 public:
  RenderWorld();
  ~RenderWorld();
  RenderWorld(const RenderWorld&) = delete;
  RenderWorld& operator=(const RenderWorld&) = delete;

  const std::string& Root() const { return root_; }
  // Root() + "/" + name.
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

  // Writes the registry value "ghostscriptfolder" (the registry file holds nothing else).
  void SetGhostscriptFolder(const std::string& folder);
  // Sets an environment variable for the rest of the test.
  void SetEnv(const char* name, const std::string& value);

  // Makes `<Root>/<folderName>/gs`, a shell script with `body` after "#!/bin/sh", and returns
  // the folder.
  std::string MakeFakeGhostscript(const std::string& folderName, const std::string& body);

  // The text of the run's log so far ("" when nothing was logged).
  std::string Log() const;

 private:
  // Destroyed in reverse order: the environment comes back before the folder goes.
  test_support::ScratchFolder scratch_{"nimbra-render"};
  test_support::ScopedEnv env_;
  std::string root_;
};


// The path as one word for /bin/sh.
std::string ShellQuote(const std::string& text);

struct ToolResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};
// Runs a command line through /bin/sh and collects what it printed.
ToolResult RunTool(const std::string& commandLine);

// A small PostScript document of `pages` pages, each showing "Page <n>"; `title` is written
// after "%%Title: " as it is.
std::string PostScriptPages(int pages, const std::string& title = "Test pages");

// PostScript that makes a run report every page as "%%[Page: n]%%" on standard output, as the
// job's header does.
std::string PageReportProgram();

}  // namespace nimbra::test
