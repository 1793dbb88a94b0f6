#pragma once
// The user a thread of the monitor works for (the job's user), the stand-in for the spooler
// thread's impersonation: the backend names the job's user before it calls the table, and the
// monitor acts for that user: files in the work area are made with the user's file-system
// identity, gui runs as that user with an environment built for that user.
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

struct UserAccount {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;
  std::string shell;
};

// The passwd entry of `name`; nullopt when there is none.
std::optional<UserAccount> LookupUserAccount(std::string_view name);
// The passwd entry of the process's real user (name "" when it has none).
UserAccount ProcessUserAccount();

// The calling thread's client user: the one set by ClientScope, else the process's user.
UserAccount ClientUser();

// Makes `user` the client of the calling thread for the scope's life (nested scopes restore).
class ClientScope {
 public:
  explicit ClientScope(UserAccount user);
  ~ClientScope();
  ClientScope(const ClientScope&) = delete;
  ClientScope& operator=(const ClientScope&) = delete;

 private:
  std::optional<UserAccount> previous_;
};

// While alive, file-system access of the calling thread is checked as the client user (its
// uid, gid and groups): files it creates belong to the user, and it can open only what the user
// can. Changes only the calling thread; a no-op when the process is not root or the client is
// the process's own user. Active() is false when the switch could not be made, in which case
// callers must not touch the user's files.
class ImpersonationScope {
 public:
  ImpersonationScope();
  ~ImpersonationScope();
  ImpersonationScope(const ImpersonationScope&) = delete;
  ImpersonationScope& operator=(const ImpersonationScope&) = delete;
  bool Active() const { return active_; }

 private:
  bool switched_ = false;
  bool active_ = true;
  uid_t savedFsUid_ = 0;
  gid_t savedFsGid_ = 0;
  std::vector<gid_t> savedGroups_;
};

// The environment gui gets as `user` ("NAME=value" entries), built afresh and never inherited:
// HOME, USER, LOGNAME, SHELL and PATH from the passwd entry and a fixed search path; LANG and
// TMPDIR when the user's session has them; and, when the user has a graphical session, its
// DISPLAY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS and XAUTHORITY.
std::vector<std::string> UserEnvironmentBlock(const UserAccount& user);

// The session variables of `uid`'s graphical session, found among the environments of the
// user's running processes (a process with DISPLAY or WAYLAND_DISPLAY wins), completed with the
// user's runtime folder /run/user/<uid> and its bus socket when they exist. `procRoot` is /proc
// except in tests.
std::vector<std::string> SessionEnvironment(uid_t uid, const std::string& procRoot = "/proc");

// The value of `name` in an environment block; nullopt when absent. Names compare exactly.
std::optional<std::string> EnvironmentValue(const std::vector<std::string>& block,
                                            std::string_view name);

}  // namespace nimbra
