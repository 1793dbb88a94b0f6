#pragma once
// Starting other programs: command lines run through the shell (Ghostscript, follow-up
// programs), and opening a document, folder or address with the desktop's default application.
#include <string>
#include <string_view>
#include <sys/types.h>

namespace nimbra {

struct RunResult {
  pid_t pid = 0;             // process id of the shell that runs the command line
  bool stillRunning = false; // still running when RunCommand returned
  int exitCode = 0;          // 0 while still running; 128 + signal number when killed by a signal
};

// Runs `commandLine` through "/bin/sh -c" in `workingFolder` (empty: the current folder) with
// the caller's environment and open descriptors; output goes wherever the command line
// redirects it (else to the caller's). With timeoutSeconds > 0 it waits in steps of at most
// 50 ms, calling ProcessPendingEvents() between them, until the command ends or more than
// timeoutSeconds have passed; 0 means do not wait. The command is never killed here.
// A command still running on return is reaped in the background when it ends, so it never
// stays a zombie. Cannot start (missing working folder, command line too long, ...):
// error 1000 "Error launching the command [<commandLine>]".
RunResult RunCommand(std::string_view commandLine, int timeoutSeconds,
                     std::string_view workingFolder);

// One word for /bin/sh whatever the text holds: blanks, quotation marks, "$" and "`" are taken
// literally inside single quotes; a single quote itself is written as '\''.
std::string ShellQuote(std::string_view text);

enum class ShellOpenStatus {
  kOpened,         // xdg-open started and did not report failure within a short moment
  kNoAssociation,  // xdg-open exit code 3: no application for this kind of target
  kFailed,         // empty target, xdg-open missing, or any other failure exit code
};

// Opens a file, folder or address with its default application by running "xdg-open <target>"
// detached (no shell: the target is one argument, never interpreted).
ShellOpenStatus ShellOpenWithStatus(std::string_view target);
// True only for kOpened; an empty target gives false.
bool ShellOpen(std::string_view target);

}  // namespace nimbra
