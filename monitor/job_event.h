#pragma once
// The named wake-up "Nimbra Creator Monitor", pulsed after every job handed to gui.
//
// Mechanism: a file of that name in the event folder (/run/nimbra-creator, or the folder named
// by the environment variable NIMBRA_EVENT_FOLDER). The monitor creates the folder (mode 0755)
// and touches the file after each hand-off; waiters watch the folder with inotify for changes of
// that file. A pulse wakes every waiter that is waiting at that moment and is not kept for later
// ones, like a pulsed event. Only the monitor (root) can write there, so no user can fake or
// block the wake-up.
#include <string>

namespace nimbra {

inline constexpr const char* kJobEventName = "Nimbra Creator Monitor";

// The folder and the file of the event.
std::string JobEventFolder();
std::string JobEventPath();

// Creates the event (its folder and file); false when that is impossible.
bool CreateJobEvent();
// Wakes the waiters.
void PulseJobEvent();

// A waiter's handle on the event: opening fails when the event folder does not exist.
class JobEventWaiter {
 public:
  JobEventWaiter();
  ~JobEventWaiter();
  JobEventWaiter(const JobEventWaiter&) = delete;
  JobEventWaiter& operator=(const JobEventWaiter&) = delete;
  // False when there is nothing to wait on (no event folder and no watched file).
  bool IsOpen() const { return fd_ >= 0 && (eventWatch_ >= 0 || fileWatch_ >= 0); }
  // Also wakes when a file named `path` is created, written or moved into place (WaitForOutput
  // watches its output file this way, so it need not wait for the next pulse).
  void AlsoWatch(const std::string& path);
  // True when a pulse (or a change of the watched file) came within `milliseconds`.
  bool Wait(long milliseconds);

 private:
  int fd_ = -1;
  int eventWatch_ = -1;
  int fileWatch_ = -1;
  std::string fileName_;
};

}  // namespace nimbra
