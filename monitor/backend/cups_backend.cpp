#include "monitor/backend/cups_backend.h"

#include <cups/backend.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "monitor/job_capture.h"
#include "monitor/monitor.h"
#include "monitor/port_list.h"
#include "monitor/spooler.h"
#include "monitor/user_account.h"
#include "monitor/work_area.h"

namespace nimbra {
namespace {

volatile sig_atomic_t cancelled = 0;
void OnTerminate(int) { cancelled = 1; }

// The spooler as the backend sees it: there is exactly one job, and its fate is the exit code.
class BackendSpooler : public Spooler {
 public:
  BackendSpooler(uint32_t jobId, std::string user) : jobId_(jobId), user_(std::move(user)) {}

  std::optional<JobInfo1> GetJob(std::string_view, uint32_t jobId) override {
    if (jobId != jobId_) return std::nullopt;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return JobInfo1{host, user_};
  }

  bool SetJob(std::string_view, uint32_t jobId, JobControl command) override {
    if (jobId != jobId_) return false;
    if (command == JobControl::kPause) held_ = true;
    if (command == JobControl::kDelete) deleted_ = true;
    return true;
  }

  bool Held() const { return held_; }
  bool Deleted() const { return deleted_; }

 private:
  uint32_t jobId_;
  std::string user_;
  bool held_ = false;
  bool deleted_ = false;
};

void Message(const char* level, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", level, text.c_str());
  std::fflush(stderr);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DeviceLineText(const char* text) {
  // Device lines quote their texts; a quote inside would end the field.
  std::string out;
  for (const char* p = text; p && *p; ++p) out += (*p == '"') ? '\'' : *p;
  return out;
}

int ListDevices(MonitorEx* monitor) {
  uint32_t needed = 0, returned = 0;
  monitor->Monitor.pfnEnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
  std::vector<uint8_t> buffer(needed);
  if (!monitor->Monitor.pfnEnumPorts(nullptr, 2, buffer.data(), needed, &needed, &returned)) {
    return CUPS_BACKEND_FAILED;
  }
  for (uint32_t i = 0; i < returned; ++i) {
    PortInfo2 info;
    std::memcpy(&info, buffer.data() + i * sizeof(PortInfo2), sizeof info);
    std::printf("direct %s:/%s \"%s\" \"%s %s\"\n", kDeviceScheme, info.pPortName,
                DeviceLineText(info.pMonitorName).c_str(),
                DeviceLineText(info.pDescription).c_str(),
                DeviceLineText(info.pPortName).c_str());
  }
  std::fflush(stdout);
  return CUPS_BACKEND_OK;
}

int RunJob(MonitorEx* monitor, int argc, char* argv[]) {
  const MonitorTable& table = monitor->Monitor;
  const char* uriText = std::getenv("DEVICE_URI");
  const std::string uri = uriText ? uriText : (std::strchr(argv[0], ':') ? argv[0] : "");
  const std::string portName = PortNameFromDeviceUri(uri);
  const uint32_t jobId = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const std::string userName = argv[2];
  const std::string title = argv[3];
  const char* printerText = std::getenv("PRINTER");
  const std::string printer = printerText ? printerText : "";

  int input = 0;
  if (argc == 7) {
    input = ::open(argv[6], O_RDONLY | O_CLOEXEC);
    if (input < 0) {
      Message("ERROR", std::string("Unable to open the print file: ") + std::strerror(errno));
      return CUPS_BACKEND_FAILED;
    }
  }

  // The job is captured for its user; run as root, the monitor acts for that user (the
  // spooler's impersonation), otherwise as the backend's own user.
  std::optional<ClientScope> client;
  if (::geteuid() == 0) {
    std::optional<UserAccount> user = LookupUserAccount(userName);
    if (!user) {
      Message("ERROR", "The job's user \"" + userName + "\" has no account on this computer; the job is held.");
      return CUPS_BACKEND_HOLD;
    }
    client.emplace(*user);
  }

  BackendSpooler spooler(jobId, userName);
  SetSpooler(&spooler);
  PortHandle port = nullptr;
  if (portName.empty() || !table.pfnOpenPort(portName.c_str(), &port)) {
    Message("ERROR", "The port of \"" + uri + "\" is not a port of the Nimbra Creator monitor.");
    SetSpooler(nullptr);
    return CUPS_BACKEND_FAILED;
  }

  DocInfo1 docInfo{title.c_str(), nullptr, "RAW"};
  if (!table.pfnStartDocPort(port, printer.c_str(), jobId, 1,
                             reinterpret_cast<const uint8_t*>(&docInfo))) {
    table.pfnClosePort(port);
    SetSpooler(nullptr);
    if (spooler.Held()) {
      Message("ERROR", "Unable to create the spool file in the work area of " + userName +
                           "; the job is held.");
      return CUPS_BACKEND_HOLD;
    }
    Message("ERROR", "The port is busy.");
    return CUPS_BACKEND_FAILED;
  }
  Message("INFO", "Capturing the document");

  std::vector<uint8_t> block(65536);
  bool readFailed = false;
  while (!cancelled) {
    ssize_t got = ::read(input, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) readFailed = true;
    if (got <= 0) break;
    uint32_t written = 0;
    table.pfnWritePort(port, block.data(), static_cast<uint32_t>(got), &written);
  }
  if (input > 0) ::close(input);

  if (cancelled || readFailed) {
    // The job was cancelled (or its data cannot be read): no hand-off of a partial document;
    // the spool file goes, as a failed hand-off would remove it.
    auto* entry = static_cast<PortEntry*>(port);
    if (entry->spoolHandle >= 0) ::close(entry->spoolHandle);
    entry->spoolHandle = -1;
    if (!entry->spoolFile.empty()) RemoveSpoolFile(entry->spoolFile);
    entry->spoolFile.clear();
    entry->flags &= ~kPortCapturing;
    table.pfnClosePort(port);
    SetSpooler(nullptr);
    if (readFailed) {
      Message("ERROR", "Unable to read the print data.");
      return CUPS_BACKEND_FAILED;
    }
    return CUPS_BACKEND_OK;
  }

  table.pfnEndDocPort(port);
  table.pfnClosePort(port);
  SetSpooler(nullptr);
  if (spooler.Held() && !spooler.Deleted()) {
    Message("ERROR", "The print data could not all be written; the job is held.");
    return CUPS_BACKEND_HOLD;
  }
  Message("INFO", "Document handed to Nimbra Creator");
  return CUPS_BACKEND_OK;
}

}  // namespace

std::string PortNameFromDeviceUri(std::string_view uri) {
  const std::string prefix = std::string(kDeviceScheme) + ":";
  if (uri.substr(0, prefix.size()) != prefix) return {};
  std::string_view rest = uri.substr(prefix.size());
  while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
  std::string name;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() + 0 && HexValue(rest[i + 1]) >= 0 &&
        HexValue(rest[i + 2]) >= 0) {
      name += static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
      i += 2;
    } else {
      name += rest[i];
    }
  }
  return name;
}

int RunBackend(int argc, char* argv[]) {
  // A cancelled job gets SIGTERM from CUPS; a closed pipe must not end the backend silently.
  struct sigaction action {};
  action.sa_handler = OnTerminate;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  std::setbuf(stderr, nullptr);

  if (argc != 1 && argc != 6 && argc != 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return CUPS_BACKEND_FAILED;
  }
  MonitorEx* monitor = InitializePrintMonitor(kPortsRegistryRoot);
  if (!monitor) return CUPS_BACKEND_FAILED;
  if (argc == 1) return ListDevices(monitor);
  return RunJob(monitor, argc, argv);
}

}  // namespace nimbra
