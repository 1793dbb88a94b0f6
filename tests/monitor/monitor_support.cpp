#include "tests/monitor/monitor_support.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/registry.h"
#include "platform/temp_path.h"
#include "settings/folders.h"
#include "monitor/monitor.h"

namespace nimbra::test {

ScratchFolder::ScratchFolder() {
  char pattern[] = "/tmp/nimbra-monitor-test-XXXXXX";
  if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  ::chmod(path_.c_str(), 0755);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

TestRegistry::TestRegistry(const ScratchFolder& scratch)
    : registry_("NIMBRA_REGISTRY", (scratch / "registry.reg").c_str()),
      eventFolder_("NIMBRA_EVENT_FOLDER", (scratch / "event").c_str()) {}

void TestRegistry::SetAppFolder(const std::string& folder) {
  RegistryWriteValue(kSettingsRegistryKey, "AppFolder", folder);
}

void TestRegistry::SetLogFolder(const std::string& folder) {
  RegistryWriteValue(kSettingsRegistryKey, "LogFolder", folder);
}

void TestRegistry::SetPorts(const std::vector<std::string>& numberedValues) {
  const std::string key = std::string("HKLM\\") + kPortsRegistryRoot;
  for (std::size_t i = 0; i < numberedValues.size(); ++i) {
    RegistryWriteValue(key, std::to_string(i + 1), numberedValues[i]);
  }
}

std::optional<std::string> TestRegistry::Port(int number) const {
  return RegistryRead(std::string("HKLM\\") + kPortsRegistryRoot + "\\" + std::to_string(number));
}

bool IsRoot() { return ::geteuid() == 0; }

TestUser::TestUser(const std::string& stem) {
  if (!IsRoot()) return;
  // Unique per process: the test cases run as separate processes, possibly in parallel.
  name_ = "nimbra-" + stem + "-" + std::to_string(::getpid() % 100000);
  Shell("userdel -r -f " + name_ + " >/dev/null 2>&1");
  // Test programs run in parallel: useradd and userdel fail while another one holds the lock
  // of the account files, so they are tried again for a while.
  for (int attempt = 0; attempt < 100 && !account_; ++attempt) {
    if (Shell("useradd -m -s /bin/sh " + name_ + " >/dev/null 2>&1") != 0) ::usleep(100000);
    account_ = LookupUserAccount(name_);
  }
}

namespace {

// Process ids of `uid`'s running processes.
std::vector<pid_t> ProcessesOf(uid_t uid) {
  std::vector<pid_t> pids;
  if (DIR* dir = ::opendir("/proc")) {
    while (dirent* entry = ::readdir(dir)) {
      char* end = nullptr;
      long pid = std::strtol(entry->d_name, &end, 10);
      if (pid <= 0 || *end != '\0') continue;
      struct stat st {};
      if (::stat((std::string("/proc/") + entry->d_name).c_str(), &st) == 0 && st.st_uid == uid) {
        pids.push_back(static_cast<pid_t>(pid));
      }
    }
    ::closedir(dir);
  }
  return pids;
}

}  // namespace

TestUser::~TestUser() {
  if (account_) {
    // A gui the test started may still be finishing (clean-up after the PDF was delivered):
    // give it time, then end what is left of the test user's processes, one by one.
    for (int i = 0; i < 400 && !ProcessesOf(account_->uid).empty(); ++i) ::usleep(50000);
    for (pid_t pid : ProcessesOf(account_->uid)) ::kill(pid, SIGKILL);
    for (int i = 0; i < 40 && !ProcessesOf(account_->uid).empty(); ++i) ::usleep(50000);
    std::error_code ignored;
    std::filesystem::remove_all(PrivateTempFolder(account_->uid), ignored);
  }
  for (int attempt = 0; attempt < 100 && !name_.empty() && LookupUserAccount(name_); ++attempt) {
    if (Shell("userdel -r -f " + name_ + " >/dev/null 2>&1") != 0) ::usleep(100000);
  }
}

void WriteRecordingGui(const std::string& appFolder, const std::string& recordFolder,
                       int sleepSeconds) {
  ::mkdir(appFolder.c_str(), 0755);
  ::mkdir(recordFolder.c_str(), 0777);
  ::chmod(recordFolder.c_str(), 0777);
  std::ostringstream script;
  script << "#!/bin/sh\n"
         << "r='" << recordFolder << "'\n"
         << "printf '%s' \"$1\" > \"$r/arg\"\n"
         << "printf '%s' \"$0\" > \"$r/prog\"\n"
         << "id -u > \"$r/uid\"\n"
         << "env > \"$r/env\"\n"
         << "pwd > \"$r/cwd\"\n"
         << "ps=$(printf '%s' \"$1\" | sed -n 's/^ps=\"\\([^\"]*\\)\".*/\\1/p')\n"
         << "if [ -n \"$ps\" ] && [ -f \"$ps\" ]; then cp \"$ps\" \"$r/ps.copy\";"
         << " stat -c %u \"$ps\" > \"$r/ps.owner\"; fi\n";
  if (sleepSeconds > 0) script << "echo $$ > \"$r/pid\"\nsleep " << sleepSeconds << "\n";
  script << ": > \"$r/done\"\n";
  const std::string path = appFolder + "/gui";
  WriteAll(path, script.str());
  ::chmod(path.c_str(), 0755);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAll(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

uid_t OwnerOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
}

std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name.size() >= suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        names.push_back(name);
      }
    }
    ::closedir(dir);
  }
  return names;
}

int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace nimbra::test
