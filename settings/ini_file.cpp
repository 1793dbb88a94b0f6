#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <string_view>

#include "platform/error.h"

namespace nimbra {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSectionIndent = "  ";

// Only the blank is trimmed: a tab is text (a tab before a key is part of the key).
std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// "Shorter than 3 characters" counts characters, not bytes: "é=" is one letter and "=".
bool ShorterThanThreeCharacters(std::string_view s) {
  int characters = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80 && ++characters >= 3) return false;
  }
  return true;
}

// One line of the file applied to the document; `target` is the section being filled.
void ApplyLine(std::string_view rawLine, Dictionary& document, DictionaryPtr& target) {
  std::string_view line = TrimBlanks(rawLine);
  if (ShorterThanThreeCharacters(line)) return;
  if (line.front() == '[' && line.back() == ']') {
    auto section = Dictionary::New();
    // Set replaces an earlier entry of that name where it stands, dropping its keys.
    document.Set(TrimBlanks(line.substr(1, line.size() - 2)), section);
    target = section;
    return;
  }
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  std::string_view key = TrimBlanks(line.substr(0, equals));
  if (key.empty()) return;
  target->Set(key, std::string(TrimBlanks(line.substr(equals + 1))));
}

// Splits at CR LF, lone CR and lone LF. A final line without a line end counts as a line.
// A UTF-8 byte-order mark (editors on Windows write one) is not text: left in place it would
// hide the first section header.
void ParseIniText(std::string_view text, const DictionaryPtr& document) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  DictionaryPtr target = document;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    ApplyLine(text.substr(start, end - start), *document, target);
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
  }
}

Error FileError(int errnoValue, std::string_view what, const std::string& path) {
  return SystemError(errnoValue, std::string(what) + " '" + path + "'");
}

// A folder in place of a file is an access error (75), as when opening a folder for reading.
Error FolderInsteadOfFile(std::string_view what, const std::string& path) {
  return Error(err::kPathFileAccess, std::string(what) + " '" + path + "': it is a folder");
}

std::string ReadWholeFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError(errno, "Unable to open", path);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw FolderInsteadOfFile("Unable to read", path);
  }
  std::string bytes;
  if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      throw FileError(e, "Unable to read", path);
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

// The file that a save really replaces: a symbolic link is followed, so the link survives and
// its target gets the new content.
std::string SaveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string resolved = real;
      std::free(real);
      return resolved;
    }
  }
  return path;
}

std::string FolderPart(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NamePart(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a new, uniquely named file beside the target. Returns its descriptor and name.
int CreateSiblingTempFile(const std::string& target, std::string& tempName) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::string stem = FolderPart(target) + "/." + NamePart(target) + ".";
  int lastErrno = EEXIST;
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempName = stem + std::to_string(random() % 1000000000ULL) + ".tmp";
    // 0666: the umask decides a new file's mode, as for a file created in place.
    int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    lastErrno = errno;
    if (lastErrno != EEXIST) break;
  }
  throw FileError(lastErrno, "Unable to create a file beside", target);
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError(errno, "Unable to write", path);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Writes `bytes` as the new content of `path` without a moment in which the file is torn:
// readers see the old or the new file, and concurrent writers leave one of their files whole.
void ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string target = SaveTarget(path);
  struct stat old {};
  const bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) throw FolderInsteadOfFile("Unable to write", path);

  std::string tempName;
  int fd = CreateSiblingTempFile(target, tempName);
  try {
    if (existed) {
      // The replacement keeps the mode (and, where permitted, the owner) of the file it replaces.
      // Owner first: a change of owner clears set-id bits that the mode then restores.
      if (::geteuid() == 0 && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
          // Not fatal: the content matters more than the owner.
        }
      }
      ::fchmod(fd, old.st_mode & 07777);
    }
    WriteAll(fd, bytes, path);
    if (::fsync(fd) != 0) throw FileError(errno, "Unable to write", path);
    int closeResult = ::close(fd);
    fd = -1;
    if (closeResult != 0) throw FileError(errno, "Unable to write", path);
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
      throw FileError(errno, "Unable to replace", path);
    }
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(tempName.c_str());
    throw;
  }
}

}  // namespace

IniFile::IniFile() : data_(Dictionary::New()) {}

void IniFile::set_data(DictionaryPtr dict) { data_ = dict ? std::move(dict) : Dictionary::New(); }

void IniFile::ClearError() {
  lastError_ = 0;
  lastErrorMessage_.clear();
}

void IniFile::SetError(long number, std::string message) {
  lastError_ = number;
  lastErrorMessage_ = std::move(message);
}

void IniFile::Reset() {
  ClearError();
  data_ = Dictionary::New();
}

bool IniFile::Load(const std::string& fileName) {
  ClearError();
  data_ = Dictionary::New();
  try {
    ParseIniText(ReadWholeFile(fileName), data_);
    return true;
  } catch (const Error& e) {
    SetError(e.Number(), e.Description());
  } catch (const std::exception& e) {
    SetError(err::kGeneral, e.what());
  }
  return false;
}

bool IniFile::Save(const std::string& fileName) {
  ClearError();
  try {
    ReplaceFileAtomically(fileName, IniDict2String(*data_));
    return true;
  } catch (const Error& e) {
    SetError(e.Number(), e.Description());
  } catch (const std::exception& e) {
    SetError(err::kGeneral, e.what());
  }
  return false;
}

std::string IniFile::IniDict2String(const Dictionary& dict) {
  std::string text;
  for (const auto& entry : dict) {
    if (entry.value.IsDictionary()) continue;
    text.append(entry.key).append("=").append(entry.value.Text()).append(kLineEnd);
  }
  for (const auto& entry : dict) {
    if (!entry.value.IsDictionary()) continue;
    text.append("[").append(entry.key).append("]").append(kLineEnd);
    for (const auto& item : *entry.value.Dict()) {
      // A dictionary nested below a section has no text form; it is written as empty.
      text.append(kSectionIndent).append(item.key).append("=").append(item.value.Text());
      text.append(kLineEnd);
    }
  }
  return text;
}

}  // namespace nimbra
