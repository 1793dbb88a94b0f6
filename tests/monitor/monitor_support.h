#pragma once
// Shared helpers of the monitor tests: scratch folders, environment and registry set-up, test
// users, and a stand-in for gui that records how the monitor started it.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "monitor/user_account.h"

namespace nimbra::test {

// A fresh folder under /tmp (mode 0755, so test users can enter it), removed with its content.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable for the scope's life (nullptr: unsets it).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A private registry file for the test (NIMBRA_REGISTRY), with the event folder of the
// wake-up moved into the scratch folder too.
class TestRegistry {
 public:
  explicit TestRegistry(const ScratchFolder& scratch);
  void SetAppFolder(const std::string& folder);
  void SetLogFolder(const std::string& folder);
  void SetPorts(const std::vector<std::string>& numberedValues);  // value "1", "2", ...
  std::optional<std::string> Port(int number) const;

 private:
  ScopedEnv registry_;
  ScopedEnv eventFolder_;
};

// A normal user made for the test (useradd) and removed afterwards, with its private
// temporary folder. Available only when the tests run as root.
class TestUser {
 public:
  explicit TestUser(const std::string& stem);
  ~TestUser();
  bool Ok() const { return account_.has_value(); }
  const UserAccount& Account() const { return *account_; }

 private:
  std::string name_;
  std::optional<UserAccount> account_;
};

bool IsRoot();

// Writes an executable "gui" into appFolder that records, in recordFolder, its argument (arg),
// its program path (prog), `id -u` (uid), its environment (env), its working folder (cwd), a
// copy of the spool file named by ps="..." (ps.copy) with its owner uid (ps.owner), and last
// the file "done". With sleepSeconds > 0 it first writes its pid (pid) and sleeps.
void WriteRecordingGui(const std::string& appFolder, const std::string& recordFolder,
                       int sleepSeconds = 0);

std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
uid_t OwnerOf(const std::string& path);
// Files in `folder` whose names end with `suffix`.
std::vector<std::string> FilesEndingWith(const std::string& folder, const std::string& suffix);
// Runs a shell command, returns its exit status (or -1).
int Shell(const std::string& command);

}  // namespace nimbra::test
