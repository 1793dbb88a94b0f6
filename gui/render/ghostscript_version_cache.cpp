#include "gui/render/ghostscript_version_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <sstream>

#include "platform/files.h"

namespace nimbra {
namespace {

// The program file as the cache knows it: its path and what changes when it is replaced.
std::optional<std::string> FileIdentity(const std::string& exePath) {
  struct stat info {};
  if (::stat(exePath.c_str(), &info) != 0) return std::nullopt;
  std::ostringstream identity;
  identity << exePath << '\n'
           << info.st_dev << ' ' << info.st_ino << ' ' << info.st_size << ' '
           << info.st_mtim.tv_sec << ' ' << info.st_mtim.tv_nsec << '\n';
  return identity.str();
}

std::mutex remembered_lock;
std::optional<std::pair<std::string, GhostscriptVersion>> remembered;

// The cache file's text: the identity, then "<major>.<minor>" and a line break.
std::string CacheText(const std::string& identity, GhostscriptVersion version) {
  return identity + std::to_string(version.major) + "." + std::to_string(version.minor) + "\n";
}

std::optional<GhostscriptVersion> ReadCacheFile(const std::string& file, const std::string& identity) {
  std::string text;
  try {
    if (!FileExists(file)) return std::nullopt;
    text = ReadTextFile(file);
  } catch (...) {
    return std::nullopt;
  }
  if (text.size() <= identity.size() || text.compare(0, identity.size(), identity) != 0) {
    return std::nullopt;
  }
  const GhostscriptVersion version = ParseGhostscriptVersion(text.substr(identity.size()));
  // Only a version that was read is kept; an unknown one is asked again next time.
  if (version.major == 0 && version.minor == 0) return std::nullopt;
  if (CacheText(identity, version) != text) return std::nullopt;
  return version;
}

// Replaces the cache file as a whole (new file renamed over it); failures only cost the cache.
void WriteCacheFile(const std::string& file, const std::string& text) {
  std::string temporary = file + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace

GhostscriptVersion CachedGhostscriptVersion(
    const std::string& exePath, const std::string& cacheFolder,
    const std::function<GhostscriptVersion(const std::string&)>& ask) {
  const std::optional<std::string> identity = FileIdentity(exePath);
  if (!identity) return ask(exePath);
  {
    std::lock_guard<std::mutex> guard(remembered_lock);
    if (remembered && remembered->first == *identity) return remembered->second;
  }
  const std::string file =
      cacheFolder.empty() ? std::string() : cacheFolder + "/" + kGhostscriptVersionCacheName;
  std::optional<GhostscriptVersion> version;
  if (!file.empty()) version = ReadCacheFile(file, *identity);
  if (!version) {
    version = ask(exePath);
    if (!file.empty() && (version->major != 0 || version->minor != 0)) {
      WriteCacheFile(file, CacheText(*identity, *version));
    }
  }
  std::lock_guard<std::mutex> guard(remembered_lock);
  remembered.emplace(*identity, *version);
  return *version;
}

void ForgetGhostscriptVersionForTesting() {
  std::lock_guard<std::mutex> guard(remembered_lock);
  remembered.reset();
}

}  // namespace nimbra
