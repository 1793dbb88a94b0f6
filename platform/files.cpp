#include "platform/files.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/error.h"

namespace nimbra {
namespace {

// Closes the descriptor when the scope ends, whatever happens in between.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result (a failed close can mean lost written data).
  int Close() {
    int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

std::string ReadAll(std::string_view path, const char* operation) {
  const std::string name(path);
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    if ((e == EMFILE || e == ENFILE) && std::string_view(operation) == "ReadFile") {
      throw Error(err::kGeneral, "Function ReadFile was not able to get a free file handle.",
                  operation);
    }
    throw SystemError(e, name, operation);
  }
  Descriptor file(fd);
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno, name, operation);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  return content;
}

bool HasWildcards(std::string_view path) {
  return path.find_first_of("*?") != std::string_view::npos;
}

// Only "*" and "?" are wildcards; every other character glob(3) treats specially is escaped.
std::string GlobPattern(std::string_view path) {
  std::string pattern;
  for (char c : path) {
    if (c == '[' || c == ']' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern;
}

// True when some entry the path names (wildcards allowed) satisfies `accept`.
bool AnyMatch(const std::string& path, const std::function<bool(const struct stat&)>& accept) {
  struct stat st {};
  if (!HasWildcards(path)) return ::stat(path.c_str(), &st) == 0 && accept(st);

  glob_t matches{};
  // GLOB_PERIOD: a "*" also matches names that start with "." (as on the original system).
  int rc = ::glob(GlobPattern(path).c_str(), GLOB_PERIOD | GLOB_NOSORT, nullptr, &matches);
  bool found = false;
  if (rc == 0) {
    for (std::size_t i = 0; i < matches.gl_pathc && !found; ++i) {
      std::string name = FileNameOf(matches.gl_pathv[i]);
      if (name == "." || name == "..") continue;
      found = ::stat(matches.gl_pathv[i], &st) == 0 && accept(st);
    }
  }
  ::globfree(&matches);
  return found;
}

}  // namespace

std::string ReadFile(std::string_view path) {
  if (path.empty()) {
    throw Error(err::kGeneral,
                "Function ReadFile does not accept an empty file name as parameter.", "ReadFile");
  }
  return ReadAll(path, "ReadFile");
}

std::string ReadTextFile(std::string_view path) { return ReadAll(path, "ReadTextFile"); }

void WriteBytes(std::string_view path, std::string_view bytes) {
  const std::string name(path);
  // O_TRUNC empties an existing file first, so no old content can remain after the write.
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw SystemError(errno, name, "WriteBytes");
  Descriptor file(fd);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(file.get(), bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno, name, "WriteBytes");
    }
    done += static_cast<std::size_t>(put);
  }
  if (file.Close() != 0) throw SystemError(errno, name, "WriteBytes");
}

void WriteTextFile(std::string_view path, std::string_view text) {
  try {
    WriteBytes(path, text);
  } catch (Error& e) {
    throw e.PassedOn("WriteTextFile");
  }
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  return AnyMatch(std::string(path), [](const struct stat& st) { return !S_ISDIR(st.st_mode); });
}

bool FolderExists(std::string_view path) {
  std::string folder = StripTrailingBackslashes(path);
  if (folder.empty()) {
    if (path.empty()) return false;
    folder = "/";  // the path was only slashes: the root
  }
  return AnyMatch(folder, [](const struct stat& st) { return S_ISDIR(st.st_mode); });
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool IsFileNotFolder(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void MkDirRecurse(std::string_view target) {
  std::string current;
  if (!target.empty() && target.front() == '/') current = "/";
  std::size_t pos = 0;
  while (pos <= target.size()) {
    std::size_t slash = target.find('/', pos);
    if (slash == std::string_view::npos) slash = target.size();
    std::string_view part = target.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;
    current.append(part).append("/");
    if (FolderExists(current)) continue;
    if (::mkdir(current.c_str(), 0777) == 0) continue;
    int e = errno;
    if (e == EEXIST && FolderExists(current)) continue;  // made by someone else meanwhile
    if (e == EEXIST) e = ENOTDIR;                         // a file stands in the way
    Error cause = SystemError(e, {}, "MkDirRecurse");
    throw Error(cause.Number(),
                "Error creating folder in function MkDirRecurse. Target=" + std::string(target) +
                    ", Current=" + current + ". " + cause.Description(),
                cause.Source());
  }
}

std::string FolderOf(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string StripTrailingBackslashes(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string ResolvePath(std::string_view path, std::string_view base) {
  if (!path.empty() && path.front() == '/') return std::string(path);
  std::string folder = base.empty() ? ProgramFolder() : std::string(base);
  // A base given with its trailing "/" must not give "//" in the middle.
  return StripTrailingBackslashes(folder) + "/" + std::string(path);
}

std::string FileNameEncode(std::string_view text, bool percentForm) {
  static constexpr std::string_view kForbidden = "\\/:*?\"<>|";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (kForbidden.find(c) == std::string_view::npos) {
      result += c;
    } else if (percentForm) {
      auto code = static_cast<unsigned char>(c);
      result += '%';
      result += kHex[code >> 4];
      result += kHex[code & 0xF];
    } else {
      result += '_';
    }
  }
  while (!result.empty() && result.back() == '.') result.pop_back();
  return result;
}

std::string ProgramFolder() {
  if (const char* env = std::getenv("NIMBRA_APP_FOLDER"); env && *env) {
    std::string folder = StripTrailingBackslashes(env);
    return folder.empty() ? "/" : folder;
  }
  char buffer[PATH_MAX];
  ssize_t len = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (len <= 0) return CurrentFolder();
  std::string folder = StripTrailingBackslashes(FolderOf(std::string_view(buffer, len)));
  return folder.empty() ? "/" : folder;
}

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return {};
  return buffer.data();
}

}  // namespace nimbra
