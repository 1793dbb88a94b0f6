#include "monitor/job_event.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace nimbra {
namespace {

constexpr const char* kDefaultEventFolder = "/run/nimbra-creator";

bool IsRealFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string JobEventFolder() {
  if (const char* folder = std::getenv("NIMBRA_EVENT_FOLDER"); folder && *folder) return folder;
  return kDefaultEventFolder;
}

std::string JobEventPath() { return JobEventFolder() + "/" + kJobEventName; }

bool CreateJobEvent() {
  const std::string folder = JobEventFolder();
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  if (!IsRealFolder(folder)) return false;
  int fd = ::open(JobEventPath().c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void PulseJobEvent() {
  // Opening for writing and closing is the pulse: waiters see IN_CLOSE_WRITE on the file.
  int fd = ::open(JobEventPath().c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd >= 0) ::close(fd);
}

JobEventWaiter::JobEventWaiter() {
  fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  const std::string folder = JobEventFolder();
  if (fd_ >= 0 && IsRealFolder(folder)) {
    eventWatch_ = ::inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO);
  }
}

void JobEventWaiter::AlsoWatch(const std::string& path) {
  if (fd_ < 0) return;
  std::size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  if (folder.empty()) folder = "/";
  fileName_ = slash == std::string::npos ? path : path.substr(slash + 1);
  fileWatch_ = ::inotify_add_watch(fd_, folder.c_str(),
                                   IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_ATTRIB);
}

JobEventWaiter::~JobEventWaiter() {
  if (fd_ >= 0) ::close(fd_);
}

bool JobEventWaiter::Wait(long milliseconds) {
  if (!IsOpen()) return false;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
  for (;;) {
    long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left < 0) left = 0;
    pollfd p{fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, left > INT_MAX ? INT_MAX : static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    alignas(inotify_event) char buffer[4096];
    ssize_t got = ::read(fd_, buffer, sizeof buffer);
    bool pulsed = false;
    for (ssize_t at = 0; got > 0 && at < got;) {
      auto* event = reinterpret_cast<inotify_event*>(buffer + at);
      if (event->len > 0) {
        const char* name = event->name;
        if ((event->wd == fileWatch_ && fileName_ == name) ||
            (event->wd == eventWatch_ && std::strcmp(name, kJobEventName) == 0)) {
          pulsed = true;
        }
      }
      at += sizeof(inotify_event) + event->len;
    }
    if (pulsed) return true;
    if (left == 0) return false;
  }
}

}  // namespace nimbra
