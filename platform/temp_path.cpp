#include "platform/temp_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace nimbra {

std::string PrivateTempFolder(uid_t uid) { return "/tmp/nimbra-creator-" + std::to_string(uid); }

bool EnsurePrivateFolder(const std::string& path, uid_t uid, gid_t gid) {
  bool created = ::mkdir(path.c_str(), 0700) == 0;
  if (!created && errno != EEXIST) return false;
  // Checked through a descriptor opened without following links, so what is checked is what
  // is changed: a link or a folder swapped in between cannot be handed to the user.
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  if (ok && created && st.st_uid != uid) {
    ok = ::fchown(fd, uid, gid) == 0 && ::fstat(fd, &st) == 0;
  }
  ok = ok && st.st_uid == uid;
  if (ok && (st.st_mode & 07777) != 0700) ok = ::fchmod(fd, 0700) == 0;
  ::close(fd);
  return ok;
}

std::string TempPath() {
  if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir) {
    std::string path = tmpdir;
    if (path.back() != '/') path += '/';
    return path;
  }
  std::string folder = PrivateTempFolder(::getuid());
  if (!EnsurePrivateFolder(folder, ::getuid(), ::getgid())) return {};
  return folder + "/";
}

}  // namespace nimbra
