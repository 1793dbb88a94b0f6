#include "tests/driver/delivery_support.h"

#include <dirent.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "settings/folders.h"
#include "settings/localisation.h"
#include "settings/log.h"
#include "tests/support/scratch_folder.h"

namespace nimbra::delivery_test {

using test_support::ReadFileBytes;
namespace {

// Mounts made by the tests live in a mount namespace of their own: the host never sees them and
// they vanish with the process, whatever happens to the test.
bool EnterPrivateMountNamespace(std::string& reason) {
  static int result = -1;
  static std::string why;
  if (result < 0) {
    if (::geteuid() != 0) {
      result = 0;
      why = "needs root to mount a small file system";
    } else if (::unshare(CLONE_NEWNS) != 0) {
      result = 0;
      why = std::string("cannot make a private mount namespace: ") + std::strerror(errno);
    } else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      result = 0;
      why = std::string("cannot make mounts private: ") + std::strerror(errno);
    } else {
      result = 1;
    }
  }
  reason = why;
  return result == 1;
}

std::string TmpfsOptions(long sizeBytes) { return "size=" + std::to_string(sizeBytes); }

std::unique_ptr<test_support::ScratchFolder> g_tempFolder;
std::unique_ptr<test_support::ScratchFolder> g_appScratch;
std::string g_tempRoot;
std::string g_appFolder;

}  // namespace

void DeliveryEnvironment::SetUp() {
  g_tempFolder = std::make_unique<test_support::ScratchFolder>("nimbra-delivery");
  g_appScratch = std::make_unique<test_support::ScratchFolder>("nimbra-delivery");
  g_tempRoot = g_tempFolder->Path();
  g_appFolder = g_appScratch->Path();
  ::setenv("TMPDIR", g_tempRoot.c_str(), 1);
  ::setenv("NIMBRA_APP_FOLDER", g_appFolder.c_str(), 1);
  ResetFolderCacheForTesting();
  ResetLogStateForTesting();
  SetLogSessionId("delivery-test");
  LoadLanguageFrom(g_appFolder);
}

void DeliveryEnvironment::TearDown() {
  g_tempFolder.reset();
  g_appScratch.reset();
}

const std::string& DeliveryEnvironment::TempRoot() { return g_tempRoot; }
const std::string& DeliveryEnvironment::AppFolder() { return g_appFolder; }

std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  if (!PathExists(LogFileName())) return lines;
  std::istringstream in(ReadFileBytes(LogFileName()));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void EmptyLog() { ResetLog(); }

int CountLogLines(const std::string& text) {
  auto lines = LogLines();
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScopedTmpfs::ScopedTmpfs(const std::string& folder, long sizeBytes, bool readOnly)
    : folder_(folder), sizeBytes_(sizeBytes) {
  if (!EnterPrivateMountNamespace(skipReason_)) return;
  std::string options = TmpfsOptions(sizeBytes_) + ",mode=0777";
  if (::mount("nimbra-test", folder_.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
              options.c_str()) != 0) {
    skipReason_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

ScopedTmpfs::~ScopedTmpfs() {
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

bool ScopedTmpfs::SetReadOnly(bool readOnly) {
  if (!mounted_) return false;
  std::string options = TmpfsOptions(sizeBytes_);
  return ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                 options.c_str()) == 0;
}

UnwritableFolder::UnwritableFolder(const std::string& folder) : folder_(folder) {
  if (::geteuid() == 0) {
    tmpfs_ = std::make_unique<ScopedTmpfs>(folder_, 1 << 20, true);
    available_ = tmpfs_->Available();
    if (!available_) skipReason_ = "root ignores permission bits, and " + tmpfs_->SkipReason();
    return;
  }
  available_ = ::chmod(folder_.c_str(), 0555) == 0;
  if (!available_) skipReason_ = std::string("chmod: ") + std::strerror(errno);
}

UnwritableFolder::~UnwritableFolder() { MakeWritable(); }

void UnwritableFolder::MakeWritable() {
  if (tmpfs_) {
    tmpfs_->SetReadOnly(false);
  } else {
    ::chmod(folder_.c_str(), 0755);
  }
}

void UnwritableFolder::MakeUnwritable() {
  if (tmpfs_) {
    tmpfs_->SetReadOnly(true);
  } else {
    ::chmod(folder_.c_str(), 0555);
  }
}

}  // namespace nimbra::delivery_test
