#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/registry_document.h"

#ifndef NIMBRA_DEFAULT_REGISTRY
#define NIMBRA_DEFAULT_REGISTRY "/etc/nimbra-creator/registry.reg"
#endif

namespace nimbra {
namespace {

// The document of the file; a missing file is an empty registry.
std::optional<RegistryDocument> Load(const std::string& path) {
  try {
    return RegistryDocument::Parse(ReadTextFile(path));
  } catch (const Error& e) {
    if (e.Number() == err::kFileNotFound) return RegistryDocument();
    return std::nullopt;
  }
}

std::string CheckedKey(std::string_view keyPath, const char* operation) {
  auto key = CanonicalRegistryKey(keyPath);
  if (!key || key->find_first_of("\r\n") != std::string::npos) {
    throw Error(err::kGeneral, "Invalid registry key path [" + std::string(keyPath) + "]",
                operation);
  }
  return *key;
}

void WriteAll(int fd, const std::string& text, const std::string& path, const char* operation) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t put = ::write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) throw SystemError(errno, path, operation);
    done += static_cast<std::size_t>(put);
  }
}

// Replaces the file by `text`: a temporary file in the same folder, flushed to disk, renamed
// over the old one, so a reader sees either the old or the new registry, never a part.
void ReplaceFile(const std::string& path, const std::string& text, const char* operation) {
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) throw SystemError(errno, temp, operation);
  try {
    struct stat old {};
    mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0) throw SystemError(errno, temp, operation);
    WriteAll(fd, text, temp, operation);
    if (::fsync(fd) != 0) throw SystemError(errno, temp, operation);
    int rc = ::close(fd);
    fd = -1;
    if (rc != 0) throw SystemError(errno, temp, operation);
    if (::rename(temp.c_str(), path.c_str()) != 0) throw SystemError(errno, path, operation);
  } catch (...) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    throw;
  }
  // The rename itself reaches the disk with the folder.
  std::string folder = FolderOf(path);
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// Runs `change` on the current document under the writers' lock and saves the result when it
// changed. The lock is on a separate file because the registry file itself is replaced.
void Modify(const char* operation, const std::function<bool(RegistryDocument&)>& change) {
  const std::string path = RegistryFilePath();
  std::string folder = FolderOf(path);
  if (!folder.empty() && !FolderExists(folder)) MkDirRecurse(folder);
  const std::string lockPath = path + ".lock";
  int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) throw SystemError(errno, lockPath, operation);
  try {
    while (::flock(lock, LOCK_EX) != 0) {
      if (errno != EINTR) throw SystemError(errno, lockPath, operation);
    }
    RegistryDocument doc;
    try {
      doc = RegistryDocument::Parse(ReadTextFile(path));
    } catch (Error& e) {
      if (e.Number() != err::kFileNotFound) throw e.PassedOn(operation);
    }
    if (change(doc)) ReplaceFile(path, doc.Serialize(), operation);
  } catch (...) {
    ::close(lock);
    throw;
  }
  ::close(lock);
}

}  // namespace

std::string RegistryFilePath() {
  if (const char* env = std::getenv("NIMBRA_REGISTRY"); env && *env) return env;
  return NIMBRA_DEFAULT_REGISTRY;
}

std::optional<std::string> RegistryRead(std::string_view fullValuePath, bool use64BitView) {
  (void)use64BitView;  // one file serves both views
  std::size_t first = fullValuePath.find('\\');
  if (first == std::string_view::npos) return std::nullopt;
  std::size_t last = fullValuePath.rfind('\\');
  std::string_view root = fullValuePath.substr(0, first);
  std::string keyPath(root);
  if (last > first) keyPath.append(fullValuePath.substr(first, last - first));
  auto key = CanonicalRegistryKey(keyPath);
  if (!key || CanonicalRegistryKey(root) == std::nullopt) return std::nullopt;
  auto doc = Load(RegistryFilePath());
  if (!doc) return std::nullopt;
  return doc->Read(*key, fullValuePath.substr(last + 1));
}

void RegistryWriteValue(std::string_view keyPath, std::string_view name, std::string_view value) {
  std::string key = CheckedKey(keyPath, "RegistryWriteValue");
  Modify("RegistryWriteValue", [&](RegistryDocument& doc) { return doc.Write(key, name, value); });
}

void RegistryDeleteValue(std::string_view keyPath, std::string_view name) {
  std::string key = CheckedKey(keyPath, "RegistryDeleteValue");
  Modify("RegistryDeleteValue", [&](RegistryDocument& doc) { return doc.DeleteValue(key, name); });
}

void RegistryDeleteKey(std::string_view keyPath) {
  std::string key = CheckedKey(keyPath, "RegistryDeleteKey");
  Modify("RegistryDeleteKey", [&](RegistryDocument& doc) { return doc.DeleteKey(key); });
}

std::vector<std::pair<std::string, std::string>> RegistryEnumValues(std::string_view keyPath) {
  auto key = CanonicalRegistryKey(keyPath);
  if (!key) return {};
  auto doc = Load(RegistryFilePath());
  return doc ? doc->Values(*key) : std::vector<std::pair<std::string, std::string>>{};
}

std::vector<std::string> RegistryEnumKeys(std::string_view keyPath) {
  auto key = CanonicalRegistryKey(keyPath);
  if (!key) return {};
  auto doc = Load(RegistryFilePath());
  return doc ? doc->SubKeys(*key) : std::vector<std::string>{};
}

}  // namespace nimbra
