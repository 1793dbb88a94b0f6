#include "monitor/work_area.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "monitor/launch.h"
#include "monitor/message_box.h"
#include "monitor/user_account.h"
#include "platform/error.h"
#include "platform/files.h"
#include "settings/folders.h"

namespace nimbra {

std::optional<std::string> GetWorkArea() {
  const UserAccount user = ClientUser();
  UserIdentity identity;
  identity.uid = user.uid;
  identity.gid = user.gid;
  identity.home = user.home;
  // The same folder gui computes as that user from the environment it is started with.
  identity.tmpDir = GetUserEnvironmentVariable("TMPDIR").value_or("");
  std::string folder;
  {
    ImpersonationScope as;  // the client user's file-system identity
    if (!as.Active()) {
      MonitorMessageBox("Unable to get default work area.", "Nimbra Creator", MonitorIcon::kError);
      return std::nullopt;
    }
    try {
      folder = UserTempFolderFor(identity);
    } catch (const Error& e) {
      MonitorMessageBox(e.Description(), "PDF Printer - Unable to create working area",
                        MonitorIcon::kError);
      return std::nullopt;
    }
    if (folder.empty()) {
      MonitorMessageBox("Unable to get default work area.", "Nimbra Creator", MonitorIcon::kError);
      return std::nullopt;
    }
    if (folder.back() != '/') folder += '/';
    if (!MakeDirectories(folder)) {
      MonitorMessageBox(folder, "PDF Printer - Unable to create working area",
                        MonitorIcon::kError);
      return std::nullopt;
    }
  }
  return folder;
}

bool GetSpoolFileName(std::string& destination, std::string_view sessionId) {
  std::optional<std::string> workArea = GetWorkArea();
  if (!workArea) {
    destination.clear();
    return false;
  }
  destination = *workArea + std::string(sessionId) + kSpoolFileSuffix;
  return true;
}

bool MakeDirectories(std::string_view path) {
  std::string folder(path);
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return true;
  try {
    MkDirRecurse(StripTrailingBackslashes(folder));
  } catch (const Error&) {
    // The result below says whether it worked.
  }
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CreateSpoolFile(const std::string& path) {
  ImpersonationScope as;
  if (!as.Active()) {
    errno = EPERM;
    return -1;
  }
  // An old file of that name goes first (the session id "x" can repeat); whatever is there,
  // a link included, is removed, never followed.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool RemoveSpoolFile(const std::string& path) {
  ImpersonationScope as;
  return as.Active() && ::unlink(path.c_str()) == 0;
}

}  // namespace nimbra
