// Running Ghostscript on one parameter file with a time limit.
#include <string>

#include "gui/render/ghostscript.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/process.h"
#include "settings/localisation.h"
#include "settings/log.h"

namespace nimbra {
namespace {

constexpr char kOperation[] = "RunGhostscript";
constexpr char kNoGhostscriptText[] = "[L96]Unable to locate Ghostscript installation.";
constexpr char kTooOldText[] =
    "[L161]You have an old version of Ghostscript installed. Ghostscript version 8.50 or newer "
    "is required. Please install a newer version.";
constexpr char kTimedOutText[] = "Ghostscript timed out";
constexpr char kFailedText[] = "An error occured while running Ghostscript";

}  // namespace

void RunGhostscript(const Dictionary& jobSettings, const std::string& parameterFile,
                    const std::string& captureFile) {
  const long timeout = GhostscriptTimeout(jobSettings);
  const GhostscriptInstallation gs = FindGhostscript();
  if (gs.path.empty()) throw Error(err::kNoGhostscript, Localize(kNoGhostscriptText), kOperation);
  if (!GhostscriptVersionSupported(gs.major, gs.minor)) {
    throw Error(err::kGhostscriptTooOld, Localize(kTooOldText), kOperation);
  }

  // "exec": the shell becomes Ghostscript, so the process waited for is Ghostscript itself.
  const std::string commandLine = "exec " + ShellQuote(gs.path) + " @" + ShellQuote(parameterFile);
  const int waitSeconds = timeout > 0 ? static_cast<int>(timeout) : 0;
  const RunResult result = RunCommand(commandLine, waitSeconds, FolderOf(gs.path));
  if (result.stillRunning) throw Error(err::kGhostscriptTimeout, kTimedOutText, kOperation);
  if (result.exitCode != 0) {
    const std::string output = FileExists(captureFile) ? ReadTextFile(captureFile) : std::string();
    // A log that cannot be written must not hide Ghostscript's own error.
    TryWriteLog("Ghostscript returned exit code " + std::to_string(result.exitCode) +
                "\nGhostscript output:\n" + output + "\n");
    throw Error(err::kGhostscriptFailed, std::string(kFailedText) + "\n\n" + output, kOperation);
  }
}

}  // namespace nimbra
