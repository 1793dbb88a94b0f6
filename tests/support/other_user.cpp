#include "tests/support/other_user.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nimbra::test_support {

std::pair<uid_t, gid_t> NobodyIds() {
  if (struct passwd* pw = ::getpwnam("nobody")) return {pw->pw_uid, pw->pw_gid};
  return {65534, 65534};
}

int RunUnprivileged(const std::function<int()>& check) {
  pid_t pid = ::fork();
  if (pid < 0) return 255;
  if (pid == 0) {
    if (::geteuid() == 0) {
      auto [uid, gid] = NobodyIds();
      if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(255);
    }
    int code = 255;
    try {
      code = check();
    } catch (...) {
      code = 255;
    }
    ::_exit(code);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 255;
  return WEXITSTATUS(status);
}

}  // namespace nimbra::test_support
