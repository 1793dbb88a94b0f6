#include "monitor/job_capture.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "monitor/job_event.h"
#include "monitor/launch.h"
#include "monitor/monitor_log.h"
#include "monitor/port_list.h"
#include "monitor/spooler.h"
#include "monitor/work_area.h"
#include "platform/error.h"
#include "platform/system_info.h"

namespace nimbra {
namespace {

constexpr std::size_t kJobInfoNameLimit = 99;

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Restarts and then pauses the job, so it waits in the queue; false when the printer could
// not be opened.
bool HoldJob(const std::string& printer, uint32_t jobId) {
  Spooler* spooler = CurrentSpooler();
  if (!spooler || !spooler->SetJob(printer, jobId, JobControl::kRestart)) return false;
  return spooler->SetJob(printer, jobId, JobControl::kPause);
}

}  // namespace

JobTexts& CurrentJobTexts() {
  static JobTexts texts;
  return texts;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (char c : text) count += IsContinuation(c) ? 0 : 1;
  return count;
}

std::string CutText(std::string_view text, std::size_t limit) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsContinuation(text[i])) continue;
    if (count == limit) return std::string(text.substr(0, i));
    ++count;
  }
  return std::string(text);
}

std::string EscapeQuotes(std::string_view value, std::size_t limit) {
  std::string out;
  std::size_t used = 0;
  const std::size_t stop = limit >= 3 ? limit - 3 : 0;
  for (std::size_t i = 0; i < value.size();) {
    if (used >= stop) break;
    std::size_t length = 1;
    while (i + length < value.size() && IsContinuation(value[i + length])) ++length;
    if (value[i] == '"') {
      out += "\"\"";
      used += 2;
    } else {
      out.append(value.substr(i, length));
      used += 1;
    }
    i += length;
  }
  return out;
}

std::string BuildJobParameters(std::string_view spoolFile, std::string_view sessionId,
                               std::string_view documentName, std::string_view printerName) {
  // A path or id holding a quote would otherwise end its value early: they are escaped too.
  const std::string ps = EscapeQuotes(spoolFile, spoolFile.size() * 2 + 3);
  const std::string id = EscapeQuotes(sessionId, sessionId.size() * 2 + 3);
  std::string printer = EscapeQuotes(printerName);
  auto assemble = [&](const std::string& doc, const std::string& prn) {
    return "ps=\"" + ps + "\", sessionid=\"" + id + "\", doc=\"" + doc + "\", printer=\"" + prn +
           "\"";
  };
  const std::size_t fixed = CharacterCount(assemble("", ""));
  // The document name gives way first; the printer name selects the settings and only gives
  // way when even an empty document name does not make the string fit. The spool file path is
  // never cut (gui must find the file); with a path that long the limit is exceeded instead.
  std::size_t room = kParameterLimit > fixed ? kParameterLimit - fixed : 0;
  if (CharacterCount(printer) > room) printer = EscapeQuotes(printerName, room + 2);
  room -= CharacterCount(printer);
  std::string doc = EscapeQuotes(documentName, std::min(room + 2, kEscapeLimit));
  return assemble(doc, printer);
}

std::string MakeSessionId() {
  try {
    std::string id = NewGuid();
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return id;
  } catch (const Error&) {
    return "x";
  }
}

bool MyStartDocPort(PortHandle handle, const char* printerName, uint32_t jobId, uint32_t level,
                    const uint8_t* docInfo) {
  std::lock_guard lock(MonitorLock());
  auto* port = static_cast<PortEntry*>(handle);
  JobTexts& job = CurrentJobTexts();
  job.sessionId = CutText(MakeSessionId(), kSessionIdLimit);
  const char* category = "MyStartDocPort";
  MakeLogFileName();
  DebugLog(category, "Start Doc", nullptr, true);
  DebugLog(category, "Session Id", job.sessionId.c_str());
  DebugLog(category, "Printer Name", printerName ? printerName : "");
  if (!port || (port->flags & kPortCapturing)) return false;

  job.printerName = CutText(printerName ? printerName : "", kPrinterNameLimit);
  // A job without document information gets no name (not the previous job's).
  job.documentName.clear();
  if (docInfo && level >= 1 && level <= 3) {
    const char* name = reinterpret_cast<const DocInfo1*>(docInfo)->pDocName;
    job.documentName = CutText(name ? name : "", kDocumentNameLimit);
  }
  DebugLog(category, "DocumentName", job.documentName.c_str());

  if (Spooler* spooler = CurrentSpooler()) {
    if (auto info = spooler->GetJob(job.printerName, jobId)) {
      DebugLog(category, "Printer Job - Machine Name",
               CutText(info->machineName, kJobInfoNameLimit).c_str());
      DebugLog(category, "Printer Job - User Name",
               CutText(info->userName, kJobInfoNameLimit).c_str());
    }
  }

  std::string spoolFile;
  GetSpoolFileName(spoolFile, job.sessionId);
  DebugLog(category, "Postscript file name", spoolFile.c_str());
  int fd = spoolFile.empty() ? -1 : CreateSpoolFile(spoolFile);
  if (fd < 0) {
    int error = spoolFile.empty() ? 0 : errno;
    DebugLog(category, "Unable to create the spool file",
             spoolFile.empty() ? "no work area" : std::strerror(error));
    port->spoolHandle = -1;
    // The job waits paused in the queue; when even that is impossible it is dropped.
    return !HoldJob(job.printerName, jobId);
  }
  port->spoolHandle = fd;
  port->spoolFile = spoolFile;
  port->printerName = job.printerName;
  port->flags |= kPortCapturing;
  port->jobId = jobId;
  port->writeFailed = false;
  return true;
}

bool WritePort(PortHandle handle, const uint8_t* buffer, uint32_t size, uint32_t* written) {
  auto* port = static_cast<PortEntry*>(handle);
  if (!port || port->spoolHandle < 0) return true;
  bool failed = false;
  {
    std::lock_guard lock(MonitorLock());
    uint32_t done = 0;
    while (done < size) {
      ssize_t n = ::write(port->spoolHandle, buffer + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed = true;
        DebugLog("WritePort", "Write failed", std::strerror(n < 0 ? errno : ENOSPC));
        break;
      }
      done += static_cast<uint32_t>(n);
    }
    if (written) *written = done;
    if (failed) port->writeFailed = true;
  }
  if (failed) HoldJob(port->printerName, port->jobId);
  return true;
}

bool EndDocPort(PortHandle handle) {
  std::lock_guard lock(MonitorLock());
  auto* port = static_cast<PortEntry*>(handle);
  if (!port || port->spoolHandle < 0) return true;
  if (::close(port->spoolHandle) != 0) port->writeFailed = true;
  port->spoolHandle = -1;
  MakePDF(*port);
  PulseJobEvent();
  port->spoolFile.clear();
  port->flags &= ~kPortCapturing;
  // A job whose data could not all be written stays held in the queue (nothing is lost);
  // every other job leaves the queue.
  if (!port->writeFailed) {
    if (Spooler* spooler = CurrentSpooler()) {
      spooler->SetJob(port->printerName, port->jobId, JobControl::kDelete);
    }
  }
  return true;
}

bool MakePDF(PortEntry& port) {
  const char* category = "MakePDF";
  const JobTexts& job = CurrentJobTexts();
  std::string spoolFile = port.spoolFile;
  bool started = false;
  if (std::optional<std::string> workArea = GetWorkArea()) {
    DebugLog(category, "Work Area", workArea->c_str());
    // The file StartDocPort created, as kept in the port record.
    if (spoolFile.empty()) spoolFile = *workArea + job.sessionId + kSpoolFileSuffix;
    DebugLog(category, "PostScript", spoolFile.c_str());
    DebugLog(category, "Build parameter string for GUI");
    DebugLog(category, "Postscript file", spoolFile.c_str());
    DebugLog(category, "Document Name is ", job.documentName.c_str());
    DebugLog(category, "Printer Name is ", job.printerName.c_str());
    std::string parameters =
        BuildJobParameters(spoolFile, job.sessionId, job.documentName, job.printerName);
    DebugLog(category, "GUI parameters", parameters.c_str());
    started = RunGUI(parameters, 0);
  } else {
    DebugLog(category, "Unable to determine Work Area");
  }
  if (started) {
    DebugLog(category, "Cleanup");
    DebugLog(category, "Status", "Success");
    return true;
  }
  if (!IsDebug() && !spoolFile.empty() && RemoveSpoolFile(spoolFile)) {
    DebugLog(category, "Remove PS file", spoolFile.c_str());
  }
  DebugLog(category, "Cleanup");
  DebugLog(category, "Status", "Error");
  return false;
}

}  // namespace nimbra
