#pragma once
// Helpers of the delivery and clean-up tests: the run's own folders, the run's log, small mounted
// file systems for the failures that need them (a full disk, a read-only destination), and a user
// interface whose event processing can act in the middle of a wait.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/driver/fake_user_interface_support.h"
#include "tests/support/file_bytes.h"

namespace nimbra::delivery_test {

// Points TMPDIR and NIMBRA_APP_FOLDER at fresh folders (so the run's temporary folder, its log
// and the debug marker are the test's own) and starts the log of session "delivery-test".
// Register it from a test file:
//   static auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DeliveryEnvironment);
class DeliveryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
  static const std::string& TempRoot();
  static const std::string& AppFolder();
};

// The log lines written so far by this process; EmptyLog() forgets them.
std::vector<std::string> LogLines();
void EmptyLog();
// How many log lines contain `text`.
int CountLogLines(const std::string& text);

// File helpers.
bool PathExists(const std::string& path);
// The names in a folder, sorted, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

// A tmpfs of `sizeBytes` mounted on `folder` in a mount namespace private to this test process
// (so nothing is left mounted if the test dies). Needs root; Available() is false otherwise and
// SkipReason() says why.
class ScopedTmpfs {
 public:
  ScopedTmpfs(const std::string& folder, long sizeBytes, bool readOnly);
  ~ScopedTmpfs();
  ScopedTmpfs(const ScopedTmpfs&) = delete;
  ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

  bool Available() const { return mounted_; }
  const std::string& SkipReason() const { return skipReason_; }
  // Switches between read-only and writable; true on success.
  bool SetReadOnly(bool readOnly);

 private:
  std::string folder_;
  long sizeBytes_;
  bool mounted_ = false;
  std::string skipReason_;
};

// A folder in which new files cannot be made, by the means the process has: as root a read-only
// tmpfs mounted on it (root ignores permission bits), otherwise mode 0555. MakeWritable() lifts
// that. Available() false (with SkipReason()) when neither works.
class UnwritableFolder {
 public:
  explicit UnwritableFolder(const std::string& folder);
  ~UnwritableFolder();
  bool Available() const { return available_; }
  const std::string& SkipReason() const { return skipReason_; }
  void MakeWritable();
  void MakeUnwritable();

 private:
  std::string folder_;
  std::unique_ptr<ScopedTmpfs> tmpfs_;
  bool available_ = false;
  std::string skipReason_;
};

// The scripted user interface of the driver tests, plus a hook run at each event processing
// (each step of a wait), which lets a test change the world while the code under test waits.
// A second hook runs when a message is shown, before it is answered (the person acts first).
class WaitingUserInterface : public test::FakeUserInterface {
 public:
  std::function<void()> onProcessEvents;
  std::function<void()> onShowMessage;
  void ProcessEvents() override {
    test::FakeUserInterface::ProcessEvents();
    if (onProcessEvents) onProcessEvents();
  }
  MessageResult ShowMessage(std::string_view text, MessageIcon icon, MessageButtons buttons,
                            bool setForeground) override {
    if (onShowMessage) onShowMessage();
    return test::FakeUserInterface::ShowMessage(text, icon, buttons, setForeground);
  }
};

}  // namespace nimbra::delivery_test
