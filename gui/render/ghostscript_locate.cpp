// Finding Ghostscript and reading its version from the program itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>

#include "gui/render/ghostscript.h"
#include "gui/render/ghostscript_version_cache.h"
#include "platform/files.h"
#include "settings/folders.h"

extern char** environ;

namespace nimbra {
namespace {

constexpr std::string_view kProgramName = "gs";
// Where PATH would lead when it is not set (the shell's own default).
constexpr std::string_view kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";
// A Ghostscript that does not print its version within this time is taken as unknown.
constexpr std::chrono::seconds kVersionTimeLimit{10};
constexpr std::size_t kVersionOutputLimit = 4096;

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// "gs" in the folders of PATH, in order. Empty entries (the current folder) are passed over:
// which program runs must not depend on the folder gui was started in.
std::string SearchPath() {
  const char* env = std::getenv("PATH");
  const std::string_view path = env != nullptr && *env != '\0' ? env : kDefaultSearchPath;
  for (std::size_t start = 0; start <= path.size();) {
    std::size_t end = path.find(':', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view folder = path.substr(start, end - start);
    if (!folder.empty() && folder.front() == '/') {
      const std::string candidate = StripTrailingBackslashes(folder) + "/" +
                                    std::string(kProgramName);
      if (IsExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

// Runs `exePath --version` without a shell and returns what it printed on standard output
// (at most a few kilobytes); "" when it cannot be started or says nothing in time.
std::string VersionOutput(const std::string& exePath) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  std::string arg0 = exePath;
  std::string arg1 = "--version";
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, exePath.c_str(), &actions, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    return {};
  }

  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + kVersionTimeLimit;
  bool ended = false;
  while (output.size() < kVersionOutputLimit) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    struct pollfd p {pipeFds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[512];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ended = true;
      break;
    }
    output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  if (!ended) {
    // Hung or endlessly talkative: it is no Ghostscript we can use.
    ::kill(pid, SIGKILL);
    output.clear();
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return output;
}

// The whole text as a non-negative number; nullopt-like -1 when it is not all digits.
int WholeNumber(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0) return -1;
  return value;
}

}  // namespace

GhostscriptVersion ParseGhostscriptVersion(const std::string& text) {
  std::string_view line(text);
  line = line.substr(0, line.find_first_of("\r\n"));
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
  const std::size_t dot = line.find('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view rest = line.substr(dot + 1);
  const int major = WholeNumber(line.substr(0, dot));
  const int minor = WholeNumber(rest.substr(0, rest.find('.')));
  if (major < 0 || minor < 0) return {};
  return {major, minor};
}

GhostscriptVersion ReadGhostscriptVersion(const std::string& exePath) {
  std::string cacheFolder;
  try {
    cacheFolder = UserTempFolder();
  } catch (...) {
    // Without a temporary folder the version is only remembered for the process.
  }
  return CachedGhostscriptVersion(exePath, cacheFolder, [](const std::string& path) {
    return ParseGhostscriptVersion(VersionOutput(path));
  });
}

bool GhostscriptVersionSupported(int major, int minor) {
  return major > kMinimumGhostscriptMajor ||
         (major == kMinimumGhostscriptMajor && minor >= kMinimumGhostscriptMinor);
}

GhostscriptInstallation FindGhostscript() {
  std::string path;
  const std::string configured = SettingsRegistryValue(reg::kGhostscriptFolder);
  if (!configured.empty()) {
    const std::string candidate =
        StripTrailingBackslashes(configured) + "/" + std::string(kProgramName);
    if (IsFileNotFolder(candidate)) path = candidate;
  }
  if (path.empty()) path = SearchPath();
  if (path.empty()) return {};
  const GhostscriptVersion version = ReadGhostscriptVersion(path);
  return {path, version.major, version.minor};
}

}  // namespace nimbra
