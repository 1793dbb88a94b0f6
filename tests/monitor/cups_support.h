#pragma once
// A private CUPS spooler for the end-to-end tests (private_cupsd.sh) and the helpers that talk
// to it as a given user.
#include <sys/types.h>

#include <string>
#include <vector>

namespace nimbra::test {

class ScratchFolder;

class PrivateCups {
 public:
  // Starts cupsd in scratch/cups with the given backend and registry file; Ok() tells whether
  // it runs and the queue Nimbra_Creator exists.
  PrivateCups(const ScratchFolder& scratch, const std::string& backend,
              const std::string& registry);
  ~PrivateCups();
  bool Ok() const { return ok_; }
  const std::string& Socket() const { return socket_; }
  const std::string& Folder() const { return folder_; }

  // Prints `file` as `user` with title `title`; the CUPS job id, or 0.
  int Print(const std::string& user, const std::string& title, const std::string& file);
  // Prints `count` copies at the same moment (separate lp processes); titles are
  // titlePrefix + two-digit number. The job ids (0 for each that failed).
  std::vector<int> PrintMany(const std::string& user, const std::string& titlePrefix,
                             const std::string& file, int count);
  bool Completed(int jobId);
  // The job is held in the queue (job-state "held").
  bool Held(int jobId);
  bool Release(int jobId);
  std::string ErrorLog() const;

 private:
  std::string Lpstat(const std::string& arguments);
  std::string folder_;
  std::string socket_;
  bool ok_ = false;
};

// Polls `condition` every 50 ms until it holds or `seconds` have passed.
template <typename Condition>
bool WaitUntil(Condition condition, int seconds);

// Output of a shell command (standard output only).
std::string ShellOutput(const std::string& command);

// Number of pages and the title of a PDF (pdfinfo); -1 / "" when unreadable.
int PdfPages(const std::string& path);
std::string PdfTitle(const std::string& path);

// A PDF of `pages` pages made by Ghostscript, readable by everyone.
bool MakePdf(const std::string& path, int pages);

// The status file (UTF-16LE) as UTF-8.
std::string ReadStatusFile(const std::string& path);

// Writes the persistent settings of printer Nimbra_Creator for `home`'s user: no dialogs, no
// viewer, output into home/out named by the title, the status file home/status.ini.
void WriteUserSettings(const std::string& home, uid_t uid, gid_t gid);

}  // namespace nimbra::test

#include <chrono>
#include <thread>

template <typename Condition>
bool nimbra::test::WaitUntil(Condition condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}
