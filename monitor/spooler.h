#pragma once
// What the monitor asks of the spooler that drives it: the job's level-1 information and job
// control (restart, pause, delete). The CUPS backend installs its own implementation, which turns
// the last command into its exit code; without one, no printer can be opened.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

enum class JobControl { kPause = 1, kResume = 2, kRestart = 4, kDelete = 5 };

struct JobInfo1 {
  std::string machineName;
  std::string userName;
};

class Spooler {
 public:
  virtual ~Spooler() = default;
  // nullopt when the printer cannot be opened or the job is unknown.
  virtual std::optional<JobInfo1> GetJob(std::string_view printer, uint32_t jobId) = 0;
  // False when the printer cannot be opened.
  virtual bool SetJob(std::string_view printer, uint32_t jobId, JobControl command) = 0;
};

// The spooler of this process (nullptr: none); not owned.
void SetSpooler(Spooler* spooler);
Spooler* CurrentSpooler();

}  // namespace nimbra
