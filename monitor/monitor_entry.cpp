// The loaded monitor: attach and detach, InitializePrintMonitor and the port-management entries
// of the function table.
#include <mutex>

#include "monitor/job_capture.h"
#include "monitor/job_event.h"
#include "monitor/launch.h"
#include "monitor/monitor.h"
#include "monitor/port_list.h"

namespace nimbra {
namespace {

std::recursive_mutex monitorLock;
CPortList* portList = nullptr;
std::string registryRoot;

MonitorEx monitorTable = {
    static_cast<uint32_t>(sizeof(MonitorTable)),
    {
        MonEnumPorts,      // 1
        MonOpenPort,       // 2
        nullptr,           // 3 OpenPortEx
        MyStartDocPort,    // 4
        WritePort,         // 5
        MonReadPort,       // 6
        EndDocPort,        // 7
        MonClosePort,      // 8
        MonAddPort,        // 9
        MonAddPortEx,      // 10
        MonConfigurePort,  // 11
        MonDeletePort,     // 12
        nullptr,           // 13 GetPrinterDataFromPort
        nullptr,           // 14 SetPortTimeOuts
    }};

static_assert(sizeof(MonitorTable) == 14 * sizeof(void*), "fourteen slots");

__attribute__((constructor)) void LibraryAttach() { MonitorAttach(); }
__attribute__((destructor)) void LibraryDetach() { MonitorDetach(); }

}  // namespace

std::recursive_mutex& MonitorLock() { return monitorLock; }
CPortList* PortList() { return portList; }
std::string RegistryRoot() {
  std::lock_guard lock(monitorLock);
  return registryRoot;
}

void MonitorAttach() {
  std::lock_guard lock(monitorLock);
  delete portList;
  portList = new (std::nothrow) CPortList(kMonitorName, kPortDescription);
}

void MonitorDetach() {
  std::lock_guard lock(monitorLock);
  registryRoot.clear();
  delete portList;
  portList = nullptr;
}

bool MonEnumPorts(const char*, uint32_t level, uint8_t* ports, uint32_t bufferSize,
                  uint32_t* needed, uint32_t* returned) {
  std::lock_guard lock(monitorLock);
  if (!portList) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    return true;
  }
  return portList->EnumeratePorts(level, ports, bufferSize, needed, returned);
}

bool MonOpenPort(const char* name, PortHandle* handle) {
  std::lock_guard lock(monitorLock);
  PortEntry* port = portList && name ? portList->FindPort(name) : nullptr;
  // A name that is not in the list gets no handle: the call fails.
  if (!port) return false;
  port->flags |= kPortOpen;
  if (handle) *handle = port;
  return true;
}

bool MonReadPort(PortHandle, uint8_t*, uint32_t, uint32_t*) { return true; }

bool MonClosePort(PortHandle port) {
  std::lock_guard lock(monitorLock);
  if (port) static_cast<PortEntry*>(port)->flags &= ~kPortOpen;
  return true;
}

bool MonAddPort(const char*, void*, const char*) {
  GUIMessage("You cannot add a new port of this type. Please use the existing one.",
             MonitorIcon::kExclamation);
  return true;
}

bool MonAddPortEx(const char*, uint32_t, uint8_t*, const char*) { return true; }

bool MonConfigurePort(const char*, void*, const char*) {
  GUIMessage("This port cannot be configured.", MonitorIcon::kInformation);
  return true;
}

bool MonDeletePort(const char*, void*, const char* portName) {
  bool removed = false;
  {
    std::lock_guard lock(monitorLock);
    if (portList && portName && portList->RemovePort(portName)) {
      portList->SavePorts(registryRoot);
      removed = true;
    }
  }
  // The messages are shown after the lock is released.
  if (removed) {
    GUIMessage("Port removed", MonitorIcon::kInformation);
  } else {
    GUIMessage("An unknown error has occurred\n\nCouldn't remove the port.", MonitorIcon::kError);
  }
  return true;
}

}  // namespace nimbra

extern "C" nimbra::MonitorEx* InitializePrintMonitor(const char* root) {
  using namespace nimbra;
  {
    std::lock_guard lock(monitorLock);
    registryRoot = root ? root : "";
  }
  CreateJobEvent();
  std::lock_guard lock(monitorLock);
  if (portList) portList->LoadPorts(registryRoot);
  return &monitorTable;
}
