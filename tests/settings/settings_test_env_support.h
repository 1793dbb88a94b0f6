#pragma once
// A private world for one settings test: a fresh temporary folder holding HOME, the XDG config
// folder (so the data folder is below it), TMPDIR (the run's log), the application folder and an
// empty registry file. The environment and the process caches are restored afterwards.
#include <functional>
#include <optional>
#include <string>

#include "tests/support/env_guard.h"
#include "tests/support/scratch_folder.h"

namespace nimbra::test {

class SettingsTestEnvironment {
 public:
  SettingsTestEnvironment();
  ~SettingsTestEnvironment();
  SettingsTestEnvironment(const SettingsTestEnvironment&) = delete;
  SettingsTestEnvironment& operator=(const SettingsTestEnvironment&) = delete;

  const std::string& Root() const { return root_; }
  const std::string& Home() const { return home_; }
  // The per-user data folder (created) and the application folder.
  std::string DataFolder() const;
  const std::string& AppFolder() const { return appFolder_; }

  // Writes a file (folders created as needed).
  static void Write(const std::string& path, const std::string& content);
  static std::string Read(const std::string& path);
  static bool Exists(const std::string& path);
  // The text of the run's log so far ("" when nothing was logged).
  std::string Log() const;

 private:
  // Destroyed in reverse order: the environment comes back before the folder goes.
  test_support::ScratchFolder scratch_{"nimbra-settings"};
  test_support::ScopedEnv env_;
  std::string root_;
  std::string home_;
  std::string appFolder_;
};

// True when the tests run as root (file modes do not stop root).
bool RunningAsRoot();

// Runs `body` as an ordinary user so that file modes apply: in this process when it does not
// run as root, else in a child process switched to the user "nobody" (NobodyIds()). Returns
// the text `body` returned; nullopt when no such user switch is possible.
std::optional<std::string> RunAsOrdinaryUser(const std::function<std::string()>& body);

// Makes the path and every folder above it up to `root` readable and enterable by everybody.
void OpenPathForOthers(const std::string& root, const std::string& path);
// Gives `folder` to the ordinary user of RunAsOrdinaryUser (when running as root).
void GiveToOrdinaryUser(const std::string& folder);

}  // namespace nimbra::test
