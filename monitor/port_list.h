#pragma once
// CPortList: the monitor's ports, a singly linked list that always ends with a sentinel record
// (empty name, no link) that is never reported as a port. Ports are stored in the registry as
// string values "1", "2", ... (no gaps) under the registry root, each holding one port name.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace nimbra {

// Port flags.
inline constexpr uint32_t kPortCapturing = 0x1;  // a document is being captured
inline constexpr uint32_t kPortOpen = 0x2;       // between OpenPort and ClosePort

struct PortEntry {
  std::string name;         // compared case-insensitively
  std::string spoolFile;    // file of the current job; emptied after the job
  uint32_t flags = 0;
  int spoolHandle = -1;     // open descriptor of the current job's file, -1 when none
  std::string printerName;  // printer of the current job
  uint32_t jobId = 0;
  bool writeFailed = false; // a write of the current job failed (the job is held, not deleted)
  PortEntry* next = nullptr;
};

// The two records EnumPorts packs at the start of the caller's buffer. Their strings (UTF-8,
// each with its terminating NUL) are packed from the end of the buffer downwards.
struct PortInfo1 {
  char* pName;
};
struct PortInfo2 {
  char* pPortName;
  char* pMonitorName;
  char* pDescription;
  uint32_t fPortType;
  uint32_t Reserved;
};

// The spooler's last-error value of the calling thread, as EnumPorts sets it.
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidLevel = 124;
void SetMonitorLastError(uint32_t error);
uint32_t MonitorLastError();

class CPortList {
 public:
  // Absent texts (nullptr) become "".
  CPortList(const char* monitorName, const char* portDescription);
  virtual ~CPortList();
  CPortList(const CPortList&) = delete;
  CPortList& operator=(const CPortList&) = delete;

  // Adds the ports registered under HKEY_LOCAL_MACHINE\<registryRoot>, stopping at the first
  // missing number; every port goes to the head, so the list holds them in reverse order.
  void LoadPorts(std::string_view registryRoot);
  // Rewrites the numbered values so that they hold the list's ports in registry order.
  void SavePorts(std::string_view registryRoot);
  // New record at the head; false when memory runs out.
  bool AddPortEntry(std::string_view name, uint32_t flags);
  PortEntry* FindPort(std::string_view name);
  bool RemovePort(std::string_view name);
  uint32_t PortCount() const;
  // EnumPorts: needed size and the records of `level` (1 or 2) with their strings.
  bool EnumeratePorts(uint32_t level, uint8_t* ports, uint32_t bufferSize, uint32_t* needed,
                      uint32_t* returned);
  // Fills the record at `slot` and copies its strings below `stringEnd`; the new string end.
  uint8_t* FillPortInfo(const PortEntry& port, uint32_t level, uint8_t* slot, uint8_t* stringEnd);

  const std::string& MonitorName() const { return monitorName_; }
  const std::string& PortDescription() const { return portDescription_; }
  // The first record (the sentinel when there are no ports); for walking the list.
  PortEntry* Head() const { return head_; }

 private:
  PortEntry* head_;
  std::string portDescription_;
  std::string monitorName_;
};

}  // namespace nimbra
