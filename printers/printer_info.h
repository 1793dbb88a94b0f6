#pragma once
// CPrinterInfo: one printer as the spooler (CUPS) describes it. DeviceName is the queue name;
// PortName is the queue's device URI, so a printer is on the monitor's port when its PortName
// is "tvpdf29:/TVPDF29". The server is CUPS's default (CUPS_SERVER, client.conf, local socket).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// Printer status bits of the record (the ones a CUPS printer state maps to).
inline constexpr uint32_t kPrinterStatusPaused = 0x1;    // stopped
inline constexpr uint32_t kPrinterStatusPrinting = 0x400;  // processing

class CPrinterInfo {
 public:
  CPrinterInfo() = default;
  explicit CPrinterInfo(std::string_view deviceName) { SetDeviceName(deviceName); }

  const std::string& DeviceName() const { return deviceName_; }
  // Setting the name runs Refresh.
  void SetDeviceName(std::string_view deviceName);

  const std::string& PrinterName() const { return printerName_; }
  const std::string& PortName() const { return portName_; }
  const std::string& DriverName() const { return driverName_; }
  const std::string& Comment() const { return comment_; }
  const std::string& Location() const { return location_; }
  uint32_t Status() const { return status_; }
  bool IsPaused() const { return (status_ & kPrinterStatusPaused) != 0; }
  bool IsToFile() const { return portName_.find("file:") == 0; }
  // 0 after a successful query; otherwise the spooler's error (an IPP status code, or
  // 1001 when the spooler cannot be reached).
  long GetPrinterError() const { return printerError_; }

  // Reads the printer's record afresh; every field is cleared first.
  void Refresh();

 private:
  std::string deviceName_;
  std::string printerName_;
  std::string portName_;
  std::string driverName_;
  std::string comment_;
  std::string location_;
  uint32_t status_ = 0;
  long printerError_ = 0;
};

// The device URI of a port of the monitor: "tvpdf29:/" + port name.
std::string PortDeviceUri(std::string_view portName);

// Names of the printers whose device URI is `deviceUri`, in the spooler's order; empty when
// there are none or the spooler cannot be reached.
std::vector<std::string> PrintersOnPort(std::string_view deviceUri);

}  // namespace nimbra
