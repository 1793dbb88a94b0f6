#include "gui/render/page_count.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/conversions.h"

namespace nimbra {
namespace {

// Only the tail is read: the tray polls this while Ghostscript's output keeps growing.
constexpr off_t kTailBytes = 1000;
constexpr std::string_view kMarkerStart = "%%[Page:";
constexpr std::string_view kMarkerEnd = "]%%";

// The last kTailBytes bytes of the file (all of a shorter file); "" on any error.
std::string ReadTail(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string tail;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t start = info.st_size > kTailBytes ? info.st_size - kTailBytes : 0;
    tail.resize(static_cast<std::size_t>(kTailBytes));
    std::size_t filled = 0;
    while (filled < tail.size()) {
      const ssize_t n = ::pread(fd, tail.data() + filled, tail.size() - filled,
                                start + static_cast<off_t>(filled));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      filled += static_cast<std::size_t>(n);
    }
    tail.resize(filled);
  }
  ::close(fd);
  return tail;
}

}  // namespace

int PageCountFromText(const std::string& text) {
  std::string_view rest(text);
  for (;;) {
    const std::size_t start = rest.rfind(kMarkerStart);
    if (start == std::string_view::npos) return 0;
    const std::size_t end = rest.find(kMarkerEnd, start);
    if (end != std::string_view::npos) {
      const std::size_t number = start + kMarkerStart.size();
      const int count = SafeLong(LeadingNumber(rest.substr(number, end - number)));
      if (count > 0) return count;
    }
    // A marker cut off (or without a page number): look at the ones before it.
    rest = rest.substr(0, start + 1);
  }
}

int ReadPageCount(const std::string& captureFile) {
  return PageCountFromText(ReadTail(captureFile));
}

}  // namespace nimbra
