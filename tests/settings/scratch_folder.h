#pragma once
// Small helpers of the settings tests: a scratch folder removed afterwards, environment
// variables restored afterwards, whole-file reads and writes, and running a check as an
// unprivileged user (CI runs as root, for whom permissions never fail).
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

namespace nimbra::scratch {

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/nimbra-settings-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    // Tests take permissions away; give them back so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
      }
    }
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets or unsets variables for the life of the object and restores the old values after.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ~ScopedEnv() {
    for (auto& [name, old] : saved_) {
      if (old) ::setenv(name.c_str(), old->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const std::string& name, const std::string& value) {
    Save(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  void Unset(const std::string& name) {
    Save(name);
    ::unsetenv(name.c_str());
  }

 private:
  void Save(const std::string& name) {
    if (saved_.count(name)) return;
    const char* old = std::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

inline void WriteBytesTo(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytesFrom(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline struct stat LStat(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path);
  return st;
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The uid and gid of "nobody" (65534 when there is no such entry).
inline std::pair<uid_t, gid_t> NobodyIds() {
  if (struct passwd* pw = ::getpwnam("nobody")) return {pw->pw_uid, pw->pw_gid};
  return {65534, 65534};
}

// Runs `check` in a child process that is not root (root drops to nobody first) and returns
// the child's exit code; 255 means the check threw or privileges could not be dropped.
inline int RunUnprivileged(const std::function<int()>& check) {
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

}  // namespace nimbra::scratch
