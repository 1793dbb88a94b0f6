#include "gui/driver/copy_to_destination.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <random>
#include <thread>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/user_interface.h"
#include "settings/localisation.h"
#include "settings/log.h"

namespace nimbra {
namespace {

// Closes a descriptor and removes the temporary file unless the copy got as far as the rename.
class TemporaryCopy {
 public:
  TemporaryCopy() = default;
  TemporaryCopy(const TemporaryCopy&) = delete;
  TemporaryCopy& operator=(const TemporaryCopy&) = delete;
  ~TemporaryCopy() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  // Creates a new file with a name no one else uses, in `folder` ("" = current folder). The
  // name starts with "." so that it does not look like the finished document.
  void Create(const std::string& folder) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = folder + ".nimbra-copy-" + std::to_string(random() % 1000000000u);
      // 0666: the umask decides, as for any new file the user makes.
      int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                      0666);
      if (fd >= 0) {
        fd_ = fd;
        path_ = candidate;
        return;
      }
      if (errno != EEXIST) throw SystemError(errno);
    }
    throw SystemError(EEXIST);
  }

  // Flushes and closes the file; a disk that fills up only at this point still fails the copy.
  void Finish() {
    if (::fsync(fd_) != 0 && errno != EINVAL) throw SystemError(errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) throw SystemError(errno);
  }

  // Puts the finished file in place of `target` in one step.
  void RenameTo(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) throw SystemError(errno);
    path_.clear();
  }

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  std::string path_;
};

class InputFile {
 public:
  explicit InputFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw SystemError(errno);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { ::close(fd_); }
  int fd() const { return fd_; }

 private:
  int fd_;
};

void CopyBytes(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno);
    }
    if (got == 0) return;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        throw SystemError(errno);
      }
      done += put;
    }
  }
}

// The file a destination stands for: a symbolic link is replaced by nothing, its target is.
std::string ResolveLink(const std::string& destination) {
  struct stat st;
  if (::lstat(destination.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return destination;
  char resolved[PATH_MAX];
  if (::realpath(destination.c_str(), resolved) == nullptr) return destination;
  return resolved;
}

void LogLine(const std::string& text) { TryWriteLog(text); }

std::string ErrorText(const Error& e) {
  return Localize("[L123]Error") + " " + std::to_string(e.Number()) + ": " + e.Description();
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

// Waits `pause` without leaving the user interface unanswered for long.
void Pause(std::chrono::milliseconds pause, UserInterface& ui) {
  auto until = std::chrono::steady_clock::now() + pause;
  for (;;) {
    auto left = until - std::chrono::steady_clock::now();
    if (left <= decltype(left)::zero()) break;
    std::this_thread::sleep_for(std::min<decltype(left)>(left, std::chrono::milliseconds(50)));
    ui.ProcessEvents();
  }
  ui.ProcessEvents();
}

}  // namespace

void CopyFileReplacing(const std::string& source, const std::string& destination) {
  InputFile input(source);
  std::string target = ResolveLink(destination);

  struct stat existing;
  bool replaces = ::stat(target.c_str(), &existing) == 0;
  if (replaces && S_ISDIR(existing.st_mode)) throw SystemError(EISDIR);

  TemporaryCopy copy;
  copy.Create(FolderOf(target));
  // A replaced document keeps its permissions, as it would when overwritten in place.
  if (replaces && S_ISREG(existing.st_mode)) {
    if (::fchmod(copy.fd(), existing.st_mode & 07777) != 0) throw SystemError(errno);
  }
  CopyBytes(input.fd(), copy.fd());
  copy.Finish();
  copy.RenameTo(target);
}

bool CopyToDestination(const std::string& source, const std::string& destination, bool silent,
                       UserInterface& ui, const CopyRetryTiming& timing) {
  const std::string route = " (" + source + " -> " + destination + "). ";
  for (;;) {
    auto start = std::chrono::steady_clock::now();
    std::optional<Error> failure;
    for (;;) {
      try {
        CopyFileReplacing(source, destination);
        return true;
      } catch (const Error& e) {
        failure = e;
      } catch (const std::exception& e) {
        failure = Error(err::kGeneral, e.what());
      }
      if (failure->Number() != err::kPathFileAccess) break;
      LogLine("Error copying PDF to destination. Possible file lock." + route +
              ErrorText(*failure));
      if (std::chrono::steady_clock::now() - start > timing.window) break;
      Pause(timing.pause, ui);
    }

    LogLine(Localize("[L122]Error copying PDF to destination") + route + ErrorText(*failure));
    // Nobody to ask when no dialog can be shown: the copy has failed.
    if (silent || !ui.DialogsAvailable()) return false;
    std::string question = ReplaceAll(
        Localize("[L124]Error copying PDF document to destination file.\n\nPlease close the "
                 "file '%1' if it is open and try again."),
        "%1", destination);
    if (ui.ShowMessage(question, MessageIcon::kExclamation, MessageButtons::kRetryCancel) !=
        MessageResult::kRetry) {
      return false;
    }
  }
}

}  // namespace nimbra
