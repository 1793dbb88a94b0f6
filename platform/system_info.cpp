#include "platform/system_info.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/error.h"

namespace nimbra {
namespace {

// 16 random bytes from the kernel; errno describes a failure.
bool RandomBytes(unsigned char (&bytes)[16]) {
  std::size_t done = 0;
  while (done < sizeof bytes) {
    ssize_t got = ::getrandom(bytes + done, sizeof bytes - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  if (done == sizeof bytes) return true;
  if (errno != ENOSYS) return false;
  // Kernels without getrandom: the random device gives the same bytes.
  int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  done = 0;
  while (done < sizeof bytes) {
    ssize_t got = ::read(fd, bytes + done, sizeof bytes - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  int savedErrno = errno;
  ::close(fd);
  errno = savedErrno;
  return done == sizeof bytes;
}

// A name that is kept once the system gave a non-empty one.
class CachedName {
 public:
  template <typename Query>
  std::string Get(Query query) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (value_.empty()) value_ = query();
    return value_;
  }

 private:
  std::mutex mutex_;
  std::string value_;
};

}  // namespace

std::string NewGuid() {
  unsigned char bytes[16];
  if (!RandomBytes(bytes)) {
    throw Error(err::kGeneral, "Error generating guid: " + SystemErrorText(errno), "NewGuid");
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4: random
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 0xF];
  }
  return text;
}

std::string ComputerName() {
  static CachedName cache;
  return cache.Get([] {
    char buffer[HOST_NAME_MAX + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::string();
    return std::string(buffer);  // cut at the first NUL
  });
}

std::string UserName() {
  static CachedName cache;
  return cache.Get([] {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
      buffer.resize(buffer.size() * 2);
    }
    return found && found->pw_name ? std::string(found->pw_name) : std::string();
  });
}

std::string SystemErrorText(int errnoValue) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be in the buffer.
  return ::strerror_r(errnoValue, buffer, sizeof buffer);
}

std::string FormatTimestamp(std::time_t t) {
  struct tm local {};
  if (::localtime_r(&t, &local) == nullptr) return {};
  char buffer[64];
  std::size_t len = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(buffer, len);
}

std::string FormatTimestamp(std::chrono::system_clock::time_point t) {
  return FormatTimestamp(std::chrono::system_clock::to_time_t(t));
}

}  // namespace nimbra
