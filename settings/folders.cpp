#include "settings/folders.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/temp_path.h"

namespace nimbra {
namespace {

constexpr std::string_view kCompanyName = "Varnell inc.";
constexpr std::string_view kProductFolderName = "PDF Printer";

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string WithoutOneTrailingSlash(std::string_view path) {
  if (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

// The nine characters a file name cannot hold become "_". Unlike the file-name encoder, a
// trailing "." is kept: the company name ends with one, and the monitor's work area names the
// folder "Varnell inc." literally; both must be the same folder.
std::string CleanFolderName(std::string_view name) {
  static constexpr std::string_view kForbidden = "\\/:*?\"<>|";
  std::string cleaned(name);
  for (char& c : cleaned) {
    if (kForbidden.find(c) != std::string_view::npos) c = '_';
  }
  return cleaned;
}

struct FolderCache {
  std::mutex mutex;
  std::string dataFolder;
  std::string tempFolder;
};

FolderCache& Cache() {
  static FolderCache cache;
  return cache;
}

// --- the private temporary folder ----------------------------------------------------------

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { if (fd_ >= 0) ::close(fd_); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

bool ActingForAnotherUser(uid_t uid) { return ::geteuid() == 0 && uid != 0; }

[[noreturn]] void ThrowCreateError(int errnoValue, const std::string& target,
                                   const std::string& current) {
  Error cause = SystemError(errnoValue, {}, "UserTempFolder");
  throw Error(cause.Number(),
              "Error creating folder in function UserTempFolder. Target=" + target +
                  ", Current=" + current + ". " + cause.Description(),
              cause.Source());
}

// Below `base`, enters (creating when missing) each folder of `names` so that each one is a real
// folder owned by the user with mode 0700. Everything is done through descriptors opened without
// following links, so what is checked is what is used. The base itself may be shared (such as
// /tmp) but must not let others replace what lies in it: writable by others only with the
// sticky bit. Returns the path, or nullopt when the chain breaks the rule; throws when a folder
// cannot be created.
std::optional<std::string> PrivateFolderChain(const std::string& base,
                                              const std::vector<std::string>& names,
                                              const UserIdentity& user) {
  Descriptor dir(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(dir.get(), &st) != 0) return std::nullopt;
  if ((st.st_mode & 0022) != 0 && (st.st_mode & S_ISVTX) == 0 && st.st_uid != user.uid) {
    return std::nullopt;
  }
  std::string path = WithoutOneTrailingSlash(base);
  if (path == "/") path.clear();
  const std::string target = path + [&] {
    std::string rest;
    for (const auto& name : names) rest += "/" + name;
    return rest;
  }();
  for (const auto& name : names) {
    path += "/" + name;
    bool created = ::mkdirat(dir.get(), name.c_str(), 0700) == 0;
    if (!created && errno != EEXIST) ThrowCreateError(errno, target, path);
    Descriptor next(::openat(dir.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) return std::nullopt;  // a symbolic link or a file stands there
    if (::fstat(next.get(), &st) != 0) return std::nullopt;
    if (created && st.st_uid != user.uid && ActingForAnotherUser(user.uid)) {
      if (::fchown(next.get(), user.uid, user.gid) != 0 || ::fstat(next.get(), &st) != 0) {
        return std::nullopt;
      }
    }
    if (st.st_uid != user.uid) return std::nullopt;
    if ((st.st_mode & 07777) != 0700 && ::fchmod(next.get(), 0700) != 0) return std::nullopt;
    dir = std::move(next);
  }
  return path;
}

std::vector<std::string> SuffixNames() {
  return {CleanFolderName(kCompanyName), CleanFolderName(kProductFolderName)};
}

// A fixed folder (registry value, application folder): its parents are made as for any
// folder, the folder itself must be private to the user.
std::optional<std::string> PrivateFixedFolder(const std::string& folder, const UserIdentity& user) {
  std::string path = WithoutOneTrailingSlash(folder);
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return std::nullopt;
  std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  if (!IsFolder(parent)) MkDirRecurse(parent);
  return PrivateFolderChain(parent, {path.substr(slash + 1)}, user);
}

std::string HomeOf(uid_t uid) {
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found && pw.pw_dir) {
    return pw.pw_dir;
  }
  return {};
}

// --- XDG user dirs -----------------------------------------------------------------------

// The value of XDG_<name>_DIR in user-dirs.dirs, as the shell would read the line
// XDG_<name>_DIR="$HOME/Folder": only "$HOME/..." and absolute paths are valid there.
std::optional<std::string> UserDirsValue(const std::string& configHome, const std::string& home,
                                         std::string_view name) {
  std::string text;
  try {
    std::string path = configHome + "/user-dirs.dirs";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    text = ReadTextFile(path);
  } catch (const Error&) {
    return std::nullopt;
  }
  const std::string wanted = "XDG_" + std::string(name) + "_DIR=";
  std::optional<std::string> result;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.substr(0, wanted.size()) != wanted) continue;
    std::string_view raw = line.substr(wanted.size());
    std::string value;
    bool quoted = false;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      char c = raw[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && i + 1 < raw.size()) {
        value += raw[++i];
      } else if (!quoted && (c == ' ' || c == '\t' || c == '#')) {
        break;
      } else {
        value += c;
      }
    }
    if (value.rfind("$HOME", 0) == 0) {
      value = home + value.substr(5);
    } else if (value.empty() || value.front() != '/') {
      continue;
    }
    result = WithoutOneTrailingSlash(value);  // the last assignment wins, as in the shell
  }
  return result;
}

std::string XdgConfigHome(const std::string& home) {
  std::string config = Env("XDG_CONFIG_HOME");
  if (!config.empty() && config.front() == '/') return WithoutOneTrailingSlash(config);
  return home.empty() ? std::string() : home + "/.config";
}

// The environment's HOME only: a process without one (a service) has no per-user folders here,
// and its lookups go on to the registry and the application folder.
std::string CurrentHome() { return Env("HOME"); }

std::string XdgUserDir(std::string_view name, std::string_view fallbackBelowHome) {
  const std::string home = CurrentHome();
  if (auto value = UserDirsValue(XdgConfigHome(home), home, name)) return *value;
  if (home.empty()) return {};
  return WithoutOneTrailingSlash(home) + std::string(fallbackBelowHome);
}

}  // namespace

std::string CompanyName() { return std::string(kCompanyName); }
std::string ProductFolderName() { return std::string(kProductFolderName); }

std::string WithFolderSuffix(std::string_view base) {
  if (!base.empty() && base.back() == '/') base.remove_suffix(1);
  return std::string(base) + "/" + CleanFolderName(kCompanyName) + "/" +
         CleanFolderName(kProductFolderName);
}

std::string SettingsRegistryValue(std::string_view name) {
  std::string path = std::string(kSettingsRegistryKey) + "\\" + std::string(name);
  return RegistryRead(path, true).value_or(std::string());
}

bool EnsureFolder(const std::string& path, bool create) {
  if (path.empty()) return false;
  if (IsFolder(path)) return true;
  if (create) MkDirRecurse(path);
  return IsFolder(path);
}

std::string DataFolder() {
  FolderCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  // An empty result is not kept: a later call tries again (a folder may have become available).
  if (!cache.dataFolder.empty()) return cache.dataFolder;

  const std::string home = CurrentHome();
  std::vector<std::string> candidates;
  if (std::string config = XdgConfigHome(home); !config.empty()) {
    candidates.push_back(WithFolderSuffix(config));
  }
  if (!home.empty()) candidates.push_back(WithFolderSuffix(home));
  if (std::string fixed = SettingsRegistryValue(reg::kUserData); !fixed.empty()) {
    candidates.push_back(WithoutOneTrailingSlash(fixed));
  }
  candidates.push_back(ProgramFolder() + "/data");

  for (const auto& candidate : candidates) {
    if (EnsureFolder(candidate, true)) {
      cache.dataFolder = candidate;
      break;
    }
  }
  return cache.dataFolder;
}

UserIdentity CurrentUserIdentity() {
  UserIdentity user;
  user.uid = ::getuid();
  user.gid = ::getgid();
  user.home = CurrentHome();
  if (user.home.empty()) user.home = HomeOf(user.uid);
  user.tmpDir = Env("TMPDIR");
  return user;
}

std::optional<UserIdentity> UserIdentityForName(std::string_view userName) {
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  std::string name(userName);
  if (name.empty() || ::getpwnam_r(name.c_str(), &pw, buffer.data(), buffer.size(), &found) != 0 ||
      !found) {
    return std::nullopt;
  }
  UserIdentity user;
  user.uid = pw.pw_uid;
  user.gid = pw.pw_gid;
  user.home = pw.pw_dir ? pw.pw_dir : "";
  return user;
}

std::string UserTempFolderFor(const UserIdentity& user) {
  // 1. The user's TMPDIR (only an absolute one means a place).
  if (!user.tmpDir.empty() && user.tmpDir.front() == '/') {
    std::string base = WithoutOneTrailingSlash(user.tmpDir);
    // Made for the user only when running as that user: folders root made in a place the user
    // names would not be the user's.
    if (!IsFolder(base) && !ActingForAnotherUser(user.uid)) MkDirRecurse(base);
    if (auto folder = PrivateFolderChain(base, SuffixNames(), user)) return *folder;
  }
  // 2. The user's private folder under /tmp.
  std::string privateBase = PrivateTempFolder(user.uid);
  if (EnsurePrivateFolder(privateBase, user.uid, user.gid)) {
    if (auto folder = PrivateFolderChain(privateBase, SuffixNames(), user)) return *folder;
  }
  // 3. A fixed folder from the registry, as it stands.
  if (std::string fixed = SettingsRegistryValue(reg::kUserTemp); !fixed.empty()) {
    if (auto folder = PrivateFixedFolder(fixed, user)) return *folder;
  }
  // 4. The application folder's "temp".
  if (auto folder = PrivateFixedFolder(ProgramFolder() + "/temp", user)) return *folder;
  return {};
}

std::string UserTempFolder() {
  FolderCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  if (cache.tempFolder.empty()) cache.tempFolder = UserTempFolderFor(CurrentUserIdentity());
  return cache.tempFolder;
}

#if defined(__SANITIZE_ADDRESS__)
// fontconfig (2.14) loses a few bytes while it parses its configuration files, once per process;
// the leak checker of sanitizer builds must not blame every program that asks for font folders.
// Weak, so a program's own list of suppressions takes precedence.
extern "C" __attribute__((weak, used)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
#endif

std::vector<std::string> FontFolders() {
  std::vector<std::string> folders;
  FcStrList* list = ::FcConfigGetFontDirs(nullptr);
  if (!list) return folders;
  while (FcChar8* dir = ::FcStrListNext(list)) {
    std::string folder = WithoutOneTrailingSlash(reinterpret_cast<const char*>(dir));
    if (IsFolder(folder)) folders.push_back(folder);
  }
  ::FcStrListDone(list);
  return folders;
}

std::string FontsFolder() {
  std::vector<std::string> folders = FontFolders();
  return folders.empty() ? std::string() : folders.front();
}

std::string SpecialFolder(int id) {
  switch (id) {
    case kDesktop:
      return XdgUserDir("DESKTOP", "/Desktop");
    case kDocuments:
      return XdgUserDir("DOCUMENTS", "");
    case kFonts:
      return FontsFolder();
    default:
      return {};
  }
}

void ResetFolderCacheForTesting() {
  FolderCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  cache.dataFolder.clear();
  cache.tempFolder.clear();
}

}  // namespace nimbra
