#include "monitor/monitor_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "monitor/message_box.h"
#include "monitor/user_account.h"
#include "monitor/work_area.h"
#include "platform/registry.h"
#include "platform/temp_path.h"
#include "settings/folders.h"

namespace nimbra {
namespace {

struct LogState {
  std::mutex mutex;
  std::string path;
  // The user whose work area holds the log: lines are written as that user, so a link the
  // user planted there cannot make the monitor write elsewhere. None: written as the process.
  std::optional<UserAccount> owner;
};

LogState& State() {
  static LogState state;
  return state;
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// Opens the log for appending without following a link; a file that is not a plain file with
// one name is refused (a hard link to another file would be written through).
int OpenLog(const std::string& path, bool truncate) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  if (truncate && ::ftruncate(fd, 0) != 0) {
    int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
  }
  return fd;
}

}  // namespace

std::optional<std::string> ReadSettingValue(std::string_view name) {
  return RegistryRead(std::string(kSettingsRegistryKey) + "\\" + std::string(name));
}

bool IsDebug() {
  std::optional<std::string> folder = ReadSettingValue(reg::kAppFolder);
  if (!folder) {
    DebugLog("IsDebug", "Unable to read AppFolder setting from the registry");
    return false;
  }
  const std::string marker = WithSlash(*folder) + kDebugMarkerName;
  struct stat st {};
  return ::stat(marker.c_str(), &st) == 0;
}

bool MakeLogFileName() {
  std::optional<UserAccount> owner;
  std::string folder;
  if (auto logFolder = ReadSettingValue(reg::kLogFolder); logFolder && !logFolder->empty()) {
    folder = *logFolder;
  } else if (auto workArea = GetWorkArea()) {
    folder = *workArea;
    owner = ClientUser();
  } else {
    folder = TempPath();
    if (folder.empty()) return false;
  }
  folder = WithSlash(folder);
  if (!folder.empty() && !MakeDirectories(folder)) {
    MonitorMessageBox(folder, "PDF Printer - Unable to create log file folder", MonitorIcon::kError);
    return false;
  }
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.path = folder + kLogFileName;
  state.owner = owner;
  return true;
}

bool DebugLog(const char* category, const char* message, const char* detail, bool truncate) {
  if (!message) return false;
  std::string line;
  if (category) line += std::string("[") + category + "] ";
  line += message;
  if (detail) line += std::string(": ") + detail;
  line += '\n';

  LogState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.path.empty()) return false;  // before the first job lines are lost
  int fd = -1;
  int error = 0;
  {
    // A log outside the user's work area is written as the process itself.
    ClientScope client(state.owner ? *state.owner : ProcessUserAccount());
    ImpersonationScope identity;
    fd = identity.Active() ? OpenLog(state.path, truncate) : -1;
    error = identity.Active() ? errno : EPERM;
  }
  if (fd < 0) {
    if (truncate) {
      MonitorMessageBox("[DebugLog] Unable to open log file for writing.\n\nFilename: " +
                            state.path + "\nError: " + std::to_string(error),
                        "Nimbra Creator", MonitorIcon::kError);
    }
    return false;
  }
  ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
  return written == static_cast<ssize_t>(line.size());
}

std::string LogFileName() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  return state.path;
}

void ResetLogFileNameForTesting() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.path.clear();
  state.owner.reset();
}

}  // namespace nimbra
