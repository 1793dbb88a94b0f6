// WaitForOutput: lets any program wait until an expected output file exists, waking at each
// job hand-off (the named wake-up) and at the deadline.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "monitor/job_event.h"
#include "monitor/monitor.h"

namespace {

bool CanOpenForReading(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

extern "C" int WaitForOutput(const char* pathText, long timeoutMs) {
  using namespace std::chrono;
  const std::string path = pathText ? pathText : "";
  if (CanOpenForReading(path)) return 1;
  if (timeoutMs < 0) timeoutMs = 0;
  nimbra::JobEventWaiter event;
  event.AlsoWatch(path);
  if (CanOpenForReading(path)) return 1;
  const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  long remaining = timeoutMs;
  for (;;) {
    if (event.IsOpen()) {
      event.Wait(remaining + 100);
    } else {
      // Nothing to wait on: look again in short steps until the deadline.
      std::this_thread::sleep_for(milliseconds(std::min(remaining + 100, 100L)));
    }
    if (CanOpenForReading(path)) return 1;
    remaining = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (remaining <= 0) break;
  }
  return CanOpenForReading(path) ? 1 : 0;
}
