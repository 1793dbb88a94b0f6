#include "settings_test_env_support.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "settings/folders.h"
#include "settings/log.h"
#include "tests/support/other_user.h"

namespace nimbra::test {

namespace fs = std::filesystem;

SettingsTestEnvironment::SettingsTestEnvironment() {
  root_ = scratch_.Path();
  home_ = root_ + "/home";
  appFolder_ = root_ + "/app";
  fs::create_directories(home_);
  fs::create_directories(appFolder_);
  fs::create_directories(root_ + "/tmp");
  env_.Set("HOME", home_);
  env_.Set("XDG_CONFIG_HOME", home_ + "/.config");
  env_.Set("TMPDIR", root_ + "/tmp");
  env_.Set("NIMBRA_APP_FOLDER", appFolder_);
  env_.Set("NIMBRA_REGISTRY", root_ + "/registry.reg");
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
  SetLogSessionId("test");
}

SettingsTestEnvironment::~SettingsTestEnvironment() {
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
}

std::string SettingsTestEnvironment::DataFolder() const { return nimbra::DataFolder(); }

void SettingsTestEnvironment::Write(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string SettingsTestEnvironment::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SettingsTestEnvironment::Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string SettingsTestEnvironment::Log() const {
  const std::string file = LogFileName();
  return Exists(file) ? Read(file) : std::string();
}

bool RunningAsRoot() { return ::geteuid() == 0; }

}  // namespace nimbra::test

namespace nimbra::test {
std::optional<std::string> RunAsOrdinaryUser(const std::function<std::string()>& body) {
  if (!RunningAsRoot()) return body();
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string out;
    const auto [uid, gid] = test_support::NobodyIds();
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
      ::_exit(3);
    }
    try {
      out = body();
    } catch (...) {
      out = "unexpected exception";
    }
    const char* p = out.data();
    std::size_t left = out.size();
    while (left > 0) {
      const ssize_t n = ::write(pipeFds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string result;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}

void OpenPathForOthers(const std::string& root, const std::string& path) {
  fs::path p = path;
  const fs::path top = root;
  while (true) {
    std::error_code ec;
    fs::permissions(p, fs::perms::others_read | fs::perms::others_exec | fs::perms::group_read |
                           fs::perms::group_exec,
                    fs::perm_options::add, ec);
    if (p == top || !p.has_parent_path() || p == p.parent_path()) break;
    p = p.parent_path();
  }
}

void GiveToOrdinaryUser(const std::string& folder) {
  if (RunningAsRoot()) {
    const auto [uid, gid] = test_support::NobodyIds();
    if (::chown(folder.c_str(), uid, gid) != 0) throw std::runtime_error("chown failed");
  }
}

}  // namespace nimbra::test
