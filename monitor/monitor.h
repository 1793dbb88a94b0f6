#pragma once
// The port monitor as the spooler sees it: InitializePrintMonitor hands out the function table
// (fourteen slots in the legacy order, absent ones null), WaitForOutput lets any program wait for
// an expected output file. The process-wide state (monitor lock, port list, registry root, job
// event) is set up when the library is loaded and released when it is unloaded.
#include <cstdint>
#include <mutex>
#include <string>

namespace nimbra {

class CPortList;

using PortHandle = void*;

// The document information the spooler passes to StartDocPort; the document name is the first
// field of levels 1, 2 and 3 alike.
struct DocInfo1 {
  const char* pDocName;
  const char* pOutputFile;
  const char* pDatatype;
};

// The monitor's function table (the legacy MONITOR record), in slot order.
struct MonitorTable {
  bool (*pfnEnumPorts)(const char* name, uint32_t level, uint8_t* ports, uint32_t bufferSize,
                       uint32_t* needed, uint32_t* returned);
  bool (*pfnOpenPort)(const char* name, PortHandle* handle);
  void* pfnOpenPortEx;  // absent
  bool (*pfnStartDocPort)(PortHandle port, const char* printerName, uint32_t jobId,
                          uint32_t level, const uint8_t* docInfo);
  bool (*pfnWritePort)(PortHandle port, const uint8_t* buffer, uint32_t size, uint32_t* written);
  bool (*pfnReadPort)(PortHandle port, uint8_t* buffer, uint32_t size, uint32_t* read);
  bool (*pfnEndDocPort)(PortHandle port);
  bool (*pfnClosePort)(PortHandle port);
  bool (*pfnAddPort)(const char* name, void* window, const char* monitorName);
  bool (*pfnAddPortEx)(const char* name, uint32_t level, uint8_t* buffer, const char* monitorName);
  bool (*pfnConfigurePort)(const char* name, void* window, const char* portName);
  bool (*pfnDeletePort)(const char* name, void* window, const char* portName);
  void* pfnGetPrinterDataFromPort;  // absent
  void* pfnSetPortTimeOuts;         // absent
};

// MONITOREX: the size of the table (14 slots of a pointer each here), then the table.
struct MonitorEx {
  uint32_t dwMonitorSize;
  MonitorTable Monitor;
};

inline constexpr const char* kMonitorName = "Nimbra Creator Monitor";
inline constexpr const char* kPortDescription = "Nimbra Creator Port";
// The registry root the backend hands to InitializePrintMonitor (below HKEY_LOCAL_MACHINE).
inline constexpr const char* kPortsRegistryRoot =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Nimbra Creator Monitor\\Ports";

// Process-wide state of the loaded monitor.
std::recursive_mutex& MonitorLock();
// The port list; nullptr before attach or after detach.
CPortList* PortList();
// The registry root kept by InitializePrintMonitor ("" before).
std::string RegistryRoot();

// The library's attach and detach duties; run by the library constructor and destructor, and
// callable again by tests to start from a fresh state.
void MonitorAttach();
void MonitorDetach();

// Table entries that are not part of the job capture (EnumPorts .. DeletePort).
bool MonEnumPorts(const char* name, uint32_t level, uint8_t* ports, uint32_t bufferSize,
                  uint32_t* needed, uint32_t* returned);
bool MonOpenPort(const char* name, PortHandle* handle);
bool MonReadPort(PortHandle port, uint8_t* buffer, uint32_t size, uint32_t* read);
bool MonClosePort(PortHandle port);
bool MonAddPort(const char* name, void* window, const char* monitorName);
bool MonAddPortEx(const char* name, uint32_t level, uint8_t* buffer, const char* monitorName);
bool MonConfigurePort(const char* name, void* window, const char* portName);
bool MonDeletePort(const char* name, void* window, const char* portName);

}  // namespace nimbra

extern "C" {
// Keeps a copy of registryRoot, creates the job event, loads the ports and returns the table.
nimbra::MonitorEx* InitializePrintMonitor(const char* registryRoot);
// 1 as soon as `path` can be opened for reading, 0 when the time-out (milliseconds) has passed.
int WaitForOutput(const char* path, long timeoutMs);
}
