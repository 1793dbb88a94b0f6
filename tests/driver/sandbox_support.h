#pragma once
// A private world for one driver test: its own HOME, XDG_CONFIG_HOME, TMPDIR, application folder
// and registry file under a fresh temporary folder, so settings, logs and temporary files of the
// run under test are isolated and can be inspected. Also runs the real gui program.
#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace nimbra::test {

inline constexpr char kPrinter[] = "Nimbra_Creator";

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  std::string root;      // the fresh temporary folder
  std::string home;      // HOME
  std::string config;    // XDG_CONFIG_HOME
  std::string tmp;       // TMPDIR
  std::string app;       // NIMBRA_APP_FOLDER
  std::string registry;  // NIMBRA_REGISTRY (absent until written)
  std::string out;       // a folder for the tests' output files

  // The settings folder and the run's temporary folder as the program computes them.
  std::string DataFolder() const;
  std::string TempFolder() const;
  std::string LogFile(const std::string& sessionId) const;

  // Writes "<base>@<printer>.ini" into the settings folder with one [PDF Printer] section.
  void WriteSettings(const std::vector<std::pair<std::string, std::string>>& values,
                     const std::string& printer = kPrinter,
                     const std::string& base = "settings") const;

  // Gives the whole tree to `uid` (for running gui as another user).
  void GiveTo(uid_t uid, gid_t gid) const;

 private:
  test_support::ScratchFolder scratch_{"nimbra-driver-test"};
  std::string dataFolder_;
  std::string tempFolder_;
};

struct ProgramResult {
  int exitCode = -1;    // -1 when it did not exit normally
  int signal = 0;       // the signal that ended it, if any
  std::string stdOut;
  std::string stdErr;
};

struct RunOptions {
  std::map<std::string, std::string> environment;  // set (or, with an empty value, unset)
  std::optional<std::pair<uid_t, gid_t>> user;     // run as this user (the caller is root)
};

// Path of the gui program of this build.
std::string GuiProgram();
// Runs `program` with `args` in the current environment plus `options`, and waits for it.
ProgramResult RunProgramAndWait(const std::string& program, const std::vector<std::string>& args,
                                const std::string& scratchFolder, const RunOptions& options = {});
// RunProgramAndWait(GuiProgram(), ...).
ProgramResult RunGuiProgram(const std::vector<std::string>& args, const Sandbox& sandbox,
                            const RunOptions& options = {});

// Standard output of a shell command line ("" when it cannot run).
std::string CommandOutput(const std::string& commandLine);
std::string Quoted(const std::string& path);  // single-quoted for /bin/sh

// The text of a file ("" when missing); the status file decoded from UTF-16LE.
std::string ReadAll(const std::string& path);
std::string ReadStatusFile(const std::string& path);
bool Exists(const std::string& path);

// One field of `pdfinfo` ("Pages", "Title", ...); `password` opens an encrypted file.
std::string PdfInfoField(const std::string& pdf, const std::string& field,
                         const std::string& password = {});
std::string PdfText(const std::string& pdf);

// Waits (in short steps, at most `limitMs`) until the file holds at least `lines` lines;
// returns the number of lines it holds then.
int WaitForLines(const std::string& path, int lines, int limitMs = 5000);

// The id and group of the unprivileged user "nobody", when it exists.
std::optional<std::pair<uid_t, gid_t>> NobodyUser();

}  // namespace nimbra::test
