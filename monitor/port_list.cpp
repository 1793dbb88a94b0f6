#include "monitor/port_list.h"

#include <strings.h>

#include <cstring>
#include <new>

#include "monitor/message_box.h"
#include "platform/error.h"
#include "platform/registry.h"

namespace nimbra {
namespace {

thread_local uint32_t lastError = 0;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string LocalMachineKey(std::string_view registryRoot) {
  return "HKEY_LOCAL_MACHINE\\" + std::string(registryRoot);
}

// Copies `text` with its NUL just below `stringEnd`; returns where it starts.
uint8_t* PackString(const std::string& text, uint8_t* stringEnd) {
  uint8_t* start = stringEnd - (text.size() + 1);
  std::memcpy(start, text.c_str(), text.size() + 1);
  return start;
}

}  // namespace

void SetMonitorLastError(uint32_t error) { lastError = error; }
uint32_t MonitorLastError() { return lastError; }

CPortList::CPortList(const char* monitorName, const char* portDescription)
    : head_(new PortEntry),
      portDescription_(portDescription ? portDescription : ""),
      monitorName_(monitorName ? monitorName : "") {}

CPortList::~CPortList() {
  while (head_) {
    PortEntry* next = head_->next;
    delete head_;
    head_ = next;
  }
}

void CPortList::LoadPorts(std::string_view registryRoot) {
  const std::string key = LocalMachineKey(registryRoot);
  for (unsigned n = 1;; ++n) {
    std::optional<std::string> name = RegistryRead(key + "\\" + std::to_string(n));
    if (!name) break;
    AddPortEntry(*name, 0);
  }
}

void CPortList::SavePorts(std::string_view registryRoot) {
  const std::string key = LocalMachineKey(registryRoot);
  try {
    // Remove the old numbering up to its first gap, then write the list from the head down to
    // 1, so the remaining ports keep their order and the numbers have no gaps.
    for (unsigned n = 1;; ++n) {
      const std::string value = std::to_string(n);
      if (!RegistryRead(key + "\\" + value)) break;
      RegistryDeleteValue(key, value);
    }
    uint32_t number = PortCount();
    for (PortEntry* p = head_; p && p->next; p = p->next) {
      RegistryWriteValue(key, std::to_string(number--), p->name);
    }
  } catch (const Error&) {
    // The registry cannot be written: it stays as it was, like an unopenable key.
  }
}

bool CPortList::AddPortEntry(std::string_view name, uint32_t flags) {
  PortEntry* entry = new (std::nothrow) PortEntry;
  if (!entry) return false;
  entry->name = std::string(name);
  entry->flags = flags;
  entry->next = head_;
  head_ = entry;
  return true;
}

PortEntry* CPortList::FindPort(std::string_view name) {
  for (PortEntry* p = head_; p && p->next; p = p->next) {
    if (SameName(p->name, name)) return p;
  }
  return nullptr;
}

bool CPortList::RemovePort(std::string_view name) {
  PortEntry** link = &head_;
  for (PortEntry* p = head_; p && p->next; link = &p->next, p = p->next) {
    if (SameName(p->name, name)) {
      *link = p->next;
      delete p;
      return true;
    }
  }
  return false;
}

uint32_t CPortList::PortCount() const {
  uint32_t count = 0;
  for (PortEntry* p = head_; p && p->next; p = p->next) ++count;
  return count;
}

bool CPortList::EnumeratePorts(uint32_t level, uint8_t* ports, uint32_t bufferSize,
                               uint32_t* needed, uint32_t* returned) {
  uint32_t size = 0;
  for (PortEntry* p = head_; p && p->next; p = p->next) {
    if (level == 1) {
      size += sizeof(PortInfo1) + p->name.size() + 1;
    } else if (level == 2) {
      size += sizeof(PortInfo2) + p->name.size() + monitorName_.size() +
              portDescription_.size() + 3;
    }
  }
  if (needed) *needed = size;
  if (bufferSize < size) {
    SetMonitorLastError(kErrorInsufficientBuffer);
    return false;
  }
  if (returned) *returned = 0;
  uint8_t* slot = ports;
  uint8_t* stringEnd = ports ? ports + bufferSize : nullptr;
  for (PortEntry* p = head_; p && p->next; p = p->next) {
    if (level != 1 && level != 2) {
      MonitorMessageBox("Error", "invalid level", MonitorIcon::kError);
      SetMonitorLastError(kErrorInvalidLevel);
      return false;
    }
    stringEnd = FillPortInfo(*p, level, slot, stringEnd);
    slot += level == 1 ? sizeof(PortInfo1) : sizeof(PortInfo2);
    if (returned) ++*returned;
  }
  return true;
}

uint8_t* CPortList::FillPortInfo(const PortEntry& port, uint32_t level, uint8_t* slot,
                                 uint8_t* stringEnd) {
  // The records are copied in with memcpy: the caller's buffer need not be aligned.
  if (level == 1) {
    PortInfo1 info{};
    stringEnd = PackString(port.name, stringEnd);
    info.pName = reinterpret_cast<char*>(stringEnd);
    std::memcpy(slot, &info, sizeof info);
  } else if (level == 2) {
    PortInfo2 info{};
    stringEnd = PackString(monitorName_, stringEnd);
    info.pMonitorName = reinterpret_cast<char*>(stringEnd);
    stringEnd = PackString(portDescription_, stringEnd);
    info.pDescription = reinterpret_cast<char*>(stringEnd);
    stringEnd = PackString(port.name, stringEnd);
    info.pPortName = reinterpret_cast<char*>(stringEnd);
    info.fPortType = 0;
    info.Reserved = 0;
    std::memcpy(slot, &info, sizeof info);
  }
  return stringEnd;
}

}  // namespace nimbra
