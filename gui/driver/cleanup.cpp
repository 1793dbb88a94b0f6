#include "gui/driver/cleanup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "settings/folders.h"
#include "settings/localisation.h"

namespace nimbra {
namespace {

// The folder's entry names, read in one go so that deleting does not disturb the listing.
// Every later operation goes through the folder's descriptor, so a folder renamed or replaced
// by a link meanwhile cannot send a deletion elsewhere.
class OpenFolder {
 public:
  explicit OpenFolder(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0 && errno != ENOENT) throw SystemError(errno, "Cleanup: cannot open '" + path + "'");
  }
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  ~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Exists() const { return fd_ >= 0; }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    int listFd = ::dup(fd_);
    if (listFd < 0) throw SystemError(errno, "Cleanup: cannot list the temporary folder");
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
      int e = errno;
      ::close(listFd);
      throw SystemError(e, "Cleanup: cannot list the temporary folder");
    }
    ::rewinddir(dir);
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    return names;
  }

  // The entry's status without following a link; false when it cannot be read.
  bool Stat(const std::string& name, struct stat& st) const {
    return ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }

  // Removes a regular file (never a folder; a link is never followed). Failures are ignored:
  // a file still open elsewhere or without rights simply stays.
  void Remove(const std::string& name) const { ::unlinkat(fd_, name.c_str(), 0); }

 private:
  int fd_;
};

bool IsRegularFile(const OpenFolder& folder, const std::string& name) {
  struct stat st;
  return folder.Stat(name, st) && S_ISREG(st.st_mode);
}

bool EndsWithLogIgnoringCase(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  return tail == ".log";
}

}  // namespace

void CleanupFolder(const std::string& tempFolder, const std::string& sessionId, bool debugMode,
                   bool errorMode, bool debugMarker, std::string& stepLabel) {
  if (tempFolder.empty()) return;
  OpenFolder folder(tempFolder);
  if (!folder.Exists()) return;

  stepLabel = "Cleanup: Delete temp files from current session";
  if (!sessionId.empty()) {
    for (const std::string& name : folder.Names()) {
      if (name.compare(0, sessionId.size(), sessionId) != 0) continue;
      if (!IsRegularFile(folder, name)) continue;
      // The log of a failed run stays, so the failure can be looked into.
      bool keep = debugMode || (errorMode && EndsWithLogIgnoringCase(name)) || debugMarker;
      if (!keep) folder.Remove(name);
    }
  }

  stepLabel = "Cleanup: Delete temp files from old sessions";
  const std::time_t limit =
      std::time(nullptr) - std::chrono::duration_cast<std::chrono::seconds>(kStaleTempFileAge)
                               .count();
  for (const std::string& name : folder.Names()) {
    stepLabel = "Cleanup: Delete temp files from old sessions (get file date)";
    struct stat st;
    // An entry whose status cannot be read has gone meanwhile (the system would otherwise date
    // it): nothing to delete. Only regular files are candidates.
    if (!folder.Stat(name, st) || !S_ISREG(st.st_mode)) continue;
    std::time_t modified = st.st_mtime;
    stepLabel = "Cleanup: Delete temp files from old sessions (test file date)";
    if (modified < limit && !debugMarker) folder.Remove(name);
  }
}

void Cleanup(const std::string& sessionId, bool debugMode, bool errorMode,
             std::string& stepLabel) {
  stepLabel = "Cleanup: get user temp.";
  std::string tempFolder = UserTempFolder();
  CleanupFolder(tempFolder, sessionId, debugMode, errorMode, IsDebugMode(), stepLabel);
}

}  // namespace nimbra
