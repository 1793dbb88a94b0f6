#include "monitor/launch.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <linux/close_range.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "monitor/job_capture.h"
#include "monitor/monitor_log.h"
#include "monitor/user_account.h"
#include "settings/folders.h"

namespace nimbra {
namespace {

constexpr const char* kRunCategory = "RunProcessAsUser";

void Progress(const char* step) { DebugLog(kRunCategory, "Impersonate", step); }

std::vector<char*> CStrings(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// In the child between fork and exec only system calls are made: the parent may have other
// threads, whose locks the child must not wait for.
[[noreturn]] void ChildFail(int errorPipe, int error) {
  ssize_t ignored = ::write(errorPipe, &error, sizeof error);
  (void)ignored;
  ::_exit(127);
}

[[noreturn]] void StartChild(const char* program, char* const argv[], char* const envp[],
                             const char* folder, bool switchUser, const UserAccount& user,
                             const std::vector<gid_t>& groups, int errorPipe) {
  // Signals as a fresh program expects them (CUPS blocks or ignores some in its backends).
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
  // No standard handles reach the new process, and no other descriptor of the backend does.
  int devNull = ::open("/dev/null", O_RDWR);
  if (devNull < 0) ChildFail(errorPipe, errno);
  for (int fd = 0; fd < 3; ++fd) {
    if (devNull != fd && ::dup2(devNull, fd) < 0) ChildFail(errorPipe, errno);
  }
  if (devNull > 2) ::close(devNull);
  if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 4096; ++fd) {
      if (fd != errorPipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  if (switchUser) {
    if (::setgroups(groups.size(), groups.data()) != 0) ChildFail(errorPipe, errno);
    if (::setgid(user.gid) != 0) ChildFail(errorPipe, errno);
    if (::setuid(user.uid) != 0) ChildFail(errorPipe, errno);
    // There must be no way back to root.
    if (user.uid != 0 && (::setuid(0) == 0 || ::geteuid() == 0)) ChildFail(errorPipe, EPERM);
  }
  if (::chdir(folder) != 0 && ::chdir("/") != 0) ChildFail(errorPipe, errno);
  ::execve(program, argv, envp);
  ChildFail(errorPipe, errno);
}

// Waits for the child; waitMs < 0 without limit. False on time-out (the child still runs).
bool WaitForChild(pid_t pid, long waitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (waitMs >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

std::string IconWord(int iconValue) {
  switch (iconValue) {
    case 16: return "error";
    case 48: return "exclamation";
    default: return "information";
  }
}

bool RunGUI(std::string_view parameters, long waitMs) {
  std::optional<std::string> folder = ReadSettingValue(reg::kAppFolder);
  if (!folder) {
    DebugLog("RunGUI", "Unable to read AppFolder setting from the registry");
    return false;
  }
  CommandLine commandLine;
  commandLine.program = *folder;
  if (commandLine.program.empty() || commandLine.program.back() != '/') commandLine.program += '/';
  commandLine.program += kGuiProgramName;
  commandLine.argument = std::string(parameters);
  DebugLog("RunGUI", "Launch GUI");
  if (RunProcessAsUser(commandLine, waitMs)) return true;
  DebugLog("RunGUI", "Launch of GUI failed", commandLine.Text().c_str());
  return false;
}

bool RunProcessAsUser(const CommandLine& commandLine, long waitMs) {
  Progress("Start");
  // Everything the child needs is prepared before fork.
  const bool root = ::geteuid() == 0;
  const UserAccount user = root ? ClientUser() : ProcessUserAccount();
  // Run as root, the program always gets the user's own groups and ids (for root's own jobs
  // too: CUPS runs the backend with the group lp).
  const bool switchUser = root;
  Progress("1");
  std::vector<gid_t> groups;
  if (switchUser) {
    int count = 64;
    groups.resize(count);
    while (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0) {
      groups.resize(count);
    }
    groups.resize(count);
  }
  Progress("2");
  std::vector<std::string> environment = UserEnvironmentBlock(user);
  // The installation's registry file, when the administrator moved it, is the one gui must
  // read too (the same AppFolder, USERTEMP, ghostscriptfolder); nothing else of the backend's
  // environment passes.
  if (const char* registry = std::getenv("NIMBRA_REGISTRY"); registry && *registry) {
    environment.push_back(std::string("NIMBRA_REGISTRY=") + registry);
  }
  std::vector<std::string> arguments = {commandLine.program, commandLine.argument};
  std::vector<char*> argv = CStrings(arguments);
  std::vector<char*> envp = CStrings(environment);
  const std::string folder = user.home.empty() ? "/" : user.home;
  Progress("3");

  int errorPipe[2];
  int error = 0;
  pid_t pid = -1;
  if (::pipe2(errorPipe, O_CLOEXEC) != 0) {
    error = errno;
  } else {
    Progress("4");
    pid = ::fork();
    if (pid == 0) {
      ::close(errorPipe[0]);
      if (waitMs == 0) {
        // Not waited for: the program leaves the backend's session and process group, and a
        // second fork hands it to init, so it neither stays a zombie nor ends with the backend.
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild < 0) ChildFail(errorPipe[1], errno);
        if (grandchild > 0) ::_exit(0);
      } else {
        // Waited for: its own process group, so ending it at the time-out ends what it started.
        ::setpgid(0, 0);
      }
      StartChild(commandLine.program.c_str(), argv.data(), envp.data(), folder.c_str(),
                 switchUser, user, groups, errorPipe[1]);
    }
    if (pid < 0) error = errno;
    ::close(errorPipe[1]);
    if (pid > 0) {
      if (waitMs == 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
      }
      // The pipe closes at the successful exec; otherwise it carries the reason.
      ssize_t got;
      while ((got = ::read(errorPipe[0], &error, sizeof error)) < 0 && errno == EINTR) {
      }
      if (got != static_cast<ssize_t>(sizeof error)) error = 0;
    }
    ::close(errorPipe[0]);
  }
  const bool created = pid > 0 && error == 0;
  if (!created) {
    DebugLog(kRunCategory, "CreateProcessAsUser failed");
    std::string detail = "Error=" + std::to_string(error) + ", ProcessId=0";
    DebugLog(kRunCategory, "CreateProcessAsUser failed", detail.c_str());
    DebugLog(kRunCategory, "Reason", (commandLine.program + ": " + std::strerror(error)).c_str());
    if (pid > 0 && waitMs != 0) WaitForChild(pid, -1);
  }
  Progress("5");
  Progress("6");
  if (!created) {
    DebugLog(kRunCategory, "Exit RunProcessAsUser", "Create process error");
    return false;
  }
  Progress("7");
  if (waitMs != 0) {
    Progress("8");
    if (!WaitForChild(pid, waitMs)) {
      DebugLog(kRunCategory, "Terminating process", commandLine.Text().c_str());
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      WaitForChild(pid, -1);
      return false;
    }
  }
  Progress("9");
  Progress("End");
  return true;
}

bool GUIMessage(std::string_view text, MonitorIcon icon, long waitMs) {
  DebugLog("GUIMessage", "GUIMessage", "Start");
  DebugLog("GUIMessage", "GUIMessage", std::string(text).c_str());
  std::string parameters = "msg=\"" + EscapeQuotes(text) + "\", icon=\"" +
                           IconWord(static_cast<int>(icon)) + "\"";
  return RunGUI(parameters, waitMs);
}

std::optional<std::string> GetUserEnvironmentVariable(std::string_view name) {
  const UserAccount user = ::geteuid() == 0 ? ClientUser() : ProcessUserAccount();
  return EnvironmentValue(UserEnvironmentBlock(user), name);
}

}  // namespace nimbra
