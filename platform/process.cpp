#include "platform/process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/event_pump.h"

extern char** environ;

namespace nimbra {
namespace {

constexpr int kWaitStepMs = 50;
// How long ShellOpen waits for xdg-open to report a failure before it counts as opened.
constexpr int kShellOpenMoment = 1;

struct SpawnOptions {
  std::string workingFolder;  // empty: the caller's
  bool searchPath = false;    // posix_spawnp instead of posix_spawn
  bool newSession = false;    // detach from the caller's terminal and process group
};

// Starts argv[0]; returns the pid, or the errno of the failure (negated).
pid_t Spawn(const std::vector<std::string>& args, const SpawnOptions& options) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // The child changes folder itself, between fork and exec: the caller's own current folder
  // (which other threads may rely on) never changes, and a missing folder fails the start.
  if (!options.workingFolder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
  }
  // Signal handlers and masks of the caller (an event loop may block or ignore some) must not
  // reach the command.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (options.newSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attr, flags);

  pid_t pid = 0;
  int rc = options.searchPath ? posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ)
                              : posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -rc;
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);  // as the shell reports it
  return 0;
}

// The exit code when the child has ended, nullopt while it runs.
std::optional<int> TryReap(pid_t pid) {
  int status = 0;
  for (;;) {
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return ExitCodeOf(status);
    if (r == 0) return std::nullopt;
    if (errno == EINTR) continue;
    // ECHILD: someone else reaped it (the caller ignores SIGCHLD, or waits for all children
    // itself); the process has ended and its exit code is lost.
    return 0;
  }
}

// Waits up to `seconds` (0: not at all) for the child, letting pending events run every step.
std::optional<int> WaitFor(pid_t pid, int seconds) {
  std::optional<int> exitCode = TryReap(pid);
  if (exitCode || seconds <= 0) return exitCode;
  // A pid descriptor becomes readable when the process ends, so the wait wakes at once instead
  // of at the end of a step; plain sleeping steps serve where the kernel lacks pidfd_open.
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::seconds(seconds);
  while (!exitCode && std::chrono::steady_clock::now() - start <= limit) {
    if (pidfd >= 0) {
      struct pollfd p {pidfd, POLLIN, 0};
      ::poll(&p, 1, kWaitStepMs);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
    }
    ProcessPendingEvents();
    exitCode = TryReap(pid);
  }
  if (pidfd >= 0) ::close(pidfd);
  return exitCode;
}

// A child nobody waits for any more is reaped by a small thread as soon as it ends, so it does
// not stay a zombie for the rest of a long-lived caller's life. (A double fork would avoid the
// thread but would hand back the pid of a process that is not our child.)
void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread could be made: the child stays a zombie until this process ends, which is
    // harmless for the short-lived programs that start commands.
  }
}

}  // namespace

RunResult RunCommand(std::string_view commandLine, int timeoutSeconds,
                     std::string_view workingFolder) {
  SpawnOptions options;
  options.workingFolder = std::string(workingFolder);
  pid_t pid = Spawn({"/bin/sh", "-c", std::string(commandLine)}, options);
  if (pid <= 0) {
    throw Error(err::kGeneral, "Error launching the command [" + std::string(commandLine) + "]",
                "RunCommand");
  }
  RunResult result;
  result.pid = pid;
  std::optional<int> exitCode = WaitFor(pid, timeoutSeconds);
  if (exitCode) {
    result.exitCode = *exitCode;
  } else {
    result.stillRunning = true;
    ReapInBackground(pid);
  }
  return result;
}

ShellOpenStatus ShellOpenWithStatus(std::string_view target) {
  if (target.empty()) return ShellOpenStatus::kFailed;
  std::string argument(target);
  // A relative name starting with "-" would be read by xdg-open as an option.
  if (argument.front() == '-') argument.insert(0, "./");
  SpawnOptions options;
  options.searchPath = true;
  options.newSession = true;
  pid_t pid = Spawn({"xdg-open", argument}, options);
  if (pid <= 0) return ShellOpenStatus::kFailed;
  std::optional<int> exitCode = WaitFor(pid, kShellOpenMoment);
  if (!exitCode) {
    // Still busy (it may run the application in the foreground): it did not fail.
    ReapInBackground(pid);
    return ShellOpenStatus::kOpened;
  }
  switch (*exitCode) {
    case 0: return ShellOpenStatus::kOpened;
    case 3: return ShellOpenStatus::kNoAssociation;  // "no method available for opening"
    default: return ShellOpenStatus::kFailed;
  }
}

bool ShellOpen(std::string_view target) {
  return ShellOpenWithStatus(target) == ShellOpenStatus::kOpened;
}

std::string ShellQuote(std::string_view text) {
  std::string word = "'";
  for (char c : text) {
    if (c == '\'') {
      word += "'\\''";
    } else {
      word += c;
    }
  }
  return word + "'";
}

}  // namespace nimbra
