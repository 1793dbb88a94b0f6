#include "settings/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/system_info.h"
#include "settings/folders.h"

namespace nimbra {
namespace {

constexpr std::string_view kLogSuffix = "_printer.log";
constexpr std::chrono::milliseconds kDefaultOpenTimeout{20000};
constexpr std::chrono::milliseconds kOpenRetryStep{100};

struct LogState {
  std::mutex mutex;
  std::string sessionId;
  std::string fileName;  // empty until first use
  std::chrono::milliseconds openTimeout = kDefaultOpenTimeout;
};

LogState& State() {
  static LogState state;
  return state;
}

std::chrono::milliseconds OpenTimeout() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  return state.openTimeout;
}

// Opens the log for appending, retrying while something else holds it (a scanner, an editor)
// and letting the user interface run in between. Throws the last attempt's error; -1 when the
// process has no descriptor left.
int OpenForAppend(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  const auto timeout = OpenTimeout();
  for (;;) {
    ProcessPendingEvents();
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return fd;
    const int lastErrno = errno;
    // No descriptor free: the line is dropped, as the log must not end the job for that.
    if (lastErrno == EMFILE || lastErrno == ENFILE) return -1;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (elapsed > timeout) {
      throw Error(ErrorNumberFromErrno(lastErrno),
                  "Unable to open and append to the log file '" + path + "'. " +
                      SystemErrorText(lastErrno),
                  "WriteLog");
    }
    const auto remaining = timeout - elapsed;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(kOpenRetryStep, remaining + std::chrono::milliseconds(1)));
  }
}

}  // namespace

void SetLogSessionId(std::string sessionId) {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.sessionId = std::move(sessionId);
}

std::string LogFileName() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.fileName.empty()) {
    state.fileName = UserTempFolder() + "/" + state.sessionId + std::string(kLogSuffix);
  }
  return state.fileName;
}

void ResetLog() {
  const std::string path = LogFileName();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return;
  if (::unlink(path.c_str()) == 0) return;
  const int e = errno;
  const long number = ErrorNumberFromErrno(e);
  throw Error(number,
              "Error removing old log file. Error " + std::to_string(number) + ": " +
                  SystemErrorText(e),
              "ResetLog");
}

std::string FormatLogLine(std::string_view text) {
  std::string line = FormatTimestamp(std::chrono::system_clock::now());
  line.append(", ").append(ComputerName()).append(", ").append(UserName()).append(": ");
  line.append(text).append("\r\n");
  return line;
}

void WriteLog(std::string_view text) {
  const std::string path = LogFileName();
  const std::string line = FormatLogLine(text);
  const int fd = OpenForAppend(path);
  if (fd < 0) return;
  // One write call: with O_APPEND the line lands whole at the end. A failed write or close
  // drops the line; the log must never stop the job.
  std::string_view rest = line;
  while (!rest.empty()) {
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  ::close(fd);
}

bool TryWriteLog(std::string_view text) noexcept {
  try {
    WriteLog(text);
    return true;
  } catch (...) {
    return false;
  }
}

void SetLogOpenTimeoutForTesting(std::chrono::milliseconds timeout) {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.openTimeout = timeout;
}

void ResetLogStateForTesting() {
  LogState& state = State();
  std::lock_guard lock(state.mutex);
  state.sessionId.clear();
  state.fileName.clear();
  state.openTimeout = kDefaultOpenTimeout;
}

}  // namespace nimbra
