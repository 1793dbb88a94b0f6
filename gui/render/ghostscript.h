#pragma once
// Finding, checking and running Ghostscript. Every rendering pass is one separate `gs` process
// that reads its whole argument list from a parameter file given after "@"; results come back
// only as files (the output and the capture file of Ghostscript's messages) and the exit code.
#include <string>

// GhostscriptTimeout(jobSettings), the time limit of one run, is read with the other settings.
#include "settings/settings_keys.h"

namespace nimbra {

class Dictionary;

// Oldest Ghostscript the parameter files are written for.
inline constexpr int kMinimumGhostscriptMajor = 8;
inline constexpr int kMinimumGhostscriptMinor = 50;

struct GhostscriptVersion {
  int major = 0;  // both 0 when unknown
  int minor = 0;
};

struct GhostscriptInstallation {
  std::string path;  // full path of the gs program; empty when none was found
  int major = 0;
  int minor = 0;
};

// The first of these that names an existing program: the registry value "ghostscriptfolder"
// + "/gs"; then "gs" in each folder of PATH (/usr/local/bin:/usr/bin:/bin when PATH is unset).
// The version comes from the program itself (ReadGhostscriptVersion).
GhostscriptInstallation FindGhostscript();

// Runs `<exePath> --version` and reads "major.minor[.patch]" from its first line
// ("10.00.0" gives 10 and 0). Anything else (no output, not a program, a text that is not
// a version) gives 0 and 0. A version that was read is remembered, for the process and in the
// user's temporary folder, while the program file stays the same (same file, size and
// modification time); see ghostscript_version_cache.h.
GhostscriptVersion ReadGhostscriptVersion(const std::string& exePath);

// The version in the first line of `text`, as ReadGhostscriptVersion reads it.
GhostscriptVersion ParseGhostscriptVersion(const std::string& text);

// True for 8.50 and newer.
bool GhostscriptVersionSupported(int major, int minor);

// Runs Ghostscript on one parameter file and waits for it, letting pending user-interface
// events run every 50 ms. Returns when it ended with exit code 0. Raises:
//   1005 no Ghostscript found; 1012 older than 8.50 or version unknown;
//   1008 still running after GhostscriptTimeout seconds (the run is left to end on its own;
//        the clean-up of the job removes its files);
//   1007 exit code not 0: the log gets the exit code and the capture file's text, and the
//        description is "An error occured while running Ghostscript", two line breaks and
//        that text;
//   1000 the process could not be started.
void RunGhostscript(const Dictionary& jobSettings, const std::string& parameterFile,
                    const std::string& captureFile);

}  // namespace nimbra
