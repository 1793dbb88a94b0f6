#include "monitor/user_account.h"

#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace nimbra {
namespace {

thread_local std::optional<UserAccount> clientUser;

std::optional<UserAccount> FromPasswd(const struct passwd& pw) {
  UserAccount user;
  user.name = pw.pw_name ? pw.pw_name : "";
  user.uid = pw.pw_uid;
  user.gid = pw.pw_gid;
  user.home = pw.pw_dir ? pw.pw_dir : "";
  user.shell = pw.pw_shell && *pw.pw_shell ? pw.pw_shell : "/bin/sh";
  return user;
}

// The thread's own credentials: the raw system calls change the calling thread only (the C
// library's wrappers would change every thread of the process).
long ThreadSetFsUid(uid_t uid) { return ::syscall(SYS_setfsuid, uid); }
long ThreadSetFsGid(gid_t gid) { return ::syscall(SYS_setfsgid, gid); }
long ThreadSetGroups(const std::vector<gid_t>& groups) {
  return ::syscall(SYS_setgroups, groups.size(), groups.data());
}

std::vector<gid_t> GroupsOf(const UserAccount& user) {
  int count = 32;
  std::vector<gid_t> groups(count);
  while (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) < 0) {
    groups.resize(count);
  }
  groups.resize(count);
  if (groups.empty()) groups.push_back(user.gid);
  return groups;
}

std::vector<std::string> ReadEnviron(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> entries;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    if (end > start) entries.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

bool OwnedFolder(const std::string& path, uid_t uid) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
}

bool OwnedSocket(const std::string& path, uid_t uid) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == uid;
}

}  // namespace

std::optional<UserAccount> LookupUserAccount(std::string_view name) {
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  std::string text(name);
  if (text.empty() || ::getpwnam_r(text.c_str(), &pw, buffer.data(), buffer.size(), &found) != 0 ||
      !found) {
    return std::nullopt;
  }
  return FromPasswd(pw);
}

UserAccount ProcessUserAccount() {
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found) {
    return *FromPasswd(pw);
  }
  UserAccount user;
  user.uid = ::getuid();
  user.gid = ::getgid();
  user.shell = "/bin/sh";
  if (const char* home = std::getenv("HOME")) user.home = home;
  return user;
}

UserAccount ClientUser() { return clientUser ? *clientUser : ProcessUserAccount(); }

ClientScope::ClientScope(UserAccount user) : previous_(clientUser) {
  clientUser = std::move(user);
}
ClientScope::~ClientScope() { clientUser = previous_; }

ImpersonationScope::ImpersonationScope() {
  if (::geteuid() != 0) return;
  const UserAccount user = ClientUser();
  if (user.uid == 0) return;
  savedFsUid_ = static_cast<uid_t>(ThreadSetFsUid(static_cast<uid_t>(-1)));
  savedFsGid_ = static_cast<gid_t>(ThreadSetFsGid(static_cast<gid_t>(-1)));
  int count = ::getgroups(0, nullptr);
  if (count > 0) {
    savedGroups_.resize(count);
    count = ::getgroups(count, savedGroups_.data());
    savedGroups_.resize(count < 0 ? 0 : count);
  }
  switched_ = true;
  // Groups first, then gid, then uid: once the uid is the user's, the thread has lost the
  // file-system privileges it needs to change the others.
  ThreadSetGroups(GroupsOf(user));
  ThreadSetFsGid(user.gid);
  ThreadSetFsUid(user.uid);
  active_ = static_cast<uid_t>(ThreadSetFsUid(static_cast<uid_t>(-1))) == user.uid &&
            static_cast<gid_t>(ThreadSetFsGid(static_cast<gid_t>(-1))) == user.gid;
}

ImpersonationScope::~ImpersonationScope() {
  if (!switched_) return;
  ThreadSetFsUid(savedFsUid_);
  ThreadSetFsGid(savedFsGid_);
  ThreadSetGroups(savedGroups_);
}

std::vector<std::string> SessionEnvironment(uid_t uid, const std::string& procRoot) {
  static const char* const kSessionNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                                              "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY", "LANG",
                                              "TMPDIR"};
  std::vector<long> pids;
  if (DIR* dir = ::opendir(procRoot.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      char* end = nullptr;
      long pid = std::strtol(entry->d_name, &end, 10);
      if (pid > 0 && end && *end == '\0') pids.push_back(pid);
    }
    ::closedir(dir);
  }
  std::sort(pids.begin(), pids.end());
  std::vector<std::string> result;
  for (long pid : pids) {
    const std::string folder = procRoot + "/" + std::to_string(pid);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || st.st_uid != uid) continue;
    std::vector<std::string> environ = ReadEnviron(folder + "/environ");
    if (!EnvironmentValue(environ, "DISPLAY") && !EnvironmentValue(environ, "WAYLAND_DISPLAY")) {
      continue;
    }
    for (const char* name : kSessionNames) {
      if (auto value = EnvironmentValue(environ, name)) {
        result.push_back(std::string(name) + "=" + *value);
      }
    }
    break;
  }
  const std::string runtime = "/run/user/" + std::to_string(uid);
  if (!EnvironmentValue(result, "XDG_RUNTIME_DIR") && OwnedFolder(runtime, uid)) {
    result.push_back("XDG_RUNTIME_DIR=" + runtime);
  }
  if (!EnvironmentValue(result, "DBUS_SESSION_BUS_ADDRESS") &&
      OwnedSocket(runtime + "/bus", uid)) {
    result.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
  }
  return result;
}

std::vector<std::string> UserEnvironmentBlock(const UserAccount& user) {
  std::vector<std::string> block;
  block.push_back("HOME=" + user.home);
  block.push_back("USER=" + user.name);
  block.push_back("LOGNAME=" + user.name);
  block.push_back("SHELL=" + (user.shell.empty() ? std::string("/bin/sh") : user.shell));
  block.push_back(user.uid == 0 ? "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
                                : "PATH=/usr/local/bin:/usr/bin:/bin");
  std::vector<std::string> session = SessionEnvironment(user.uid);
  if (!EnvironmentValue(session, "LANG")) block.push_back("LANG=C.UTF-8");
  block.insert(block.end(), session.begin(), session.end());
  return block;
}

std::optional<std::string> EnvironmentValue(const std::vector<std::string>& block,
                                            std::string_view name) {
  for (const std::string& entry : block) {
    if (entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
        entry[name.size()] == '=') {
      return entry.substr(name.size() + 1);
    }
  }
  return std::nullopt;
}

}  // namespace nimbra
