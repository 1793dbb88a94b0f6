#include "printers/printer_info.h"

#include <cups/cups.h>

#include <memory>

namespace nimbra {
namespace {

constexpr long kSpoolerUnreachable = 1001;

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

std::string Text(ipp_t* response, const char* name) {
  ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
  const char* value = attr ? ippGetString(attr, 0, nullptr) : nullptr;
  return value ? value : "";
}

}  // namespace

void CPrinterInfo::SetDeviceName(std::string_view deviceName) {
  deviceName_ = std::string(deviceName);
  Refresh();
}

void CPrinterInfo::Refresh() {
  printerName_.clear();
  portName_.clear();
  driverName_.clear();
  comment_.clear();
  location_.clear();
  status_ = 0;

  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                   "/printers/%s", deviceName_.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  static const char* const kWanted[] = {"printer-name", "device-uri", "printer-make-and-model",
                                        "printer-info", "printer-location", "printer-state"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                sizeof kWanted / sizeof kWanted[0], nullptr, kWanted);
  IppPtr response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  const ipp_status_t status = cupsLastError();
  if (!response || status > IPP_STATUS_OK_CONFLICTING) {
    printerError_ = response ? static_cast<long>(status) : kSpoolerUnreachable;
    return;
  }
  printerError_ = 0;
  printerName_ = Text(response.get(), "printer-name");
  portName_ = Text(response.get(), "device-uri");
  driverName_ = Text(response.get(), "printer-make-and-model");
  comment_ = Text(response.get(), "printer-info");
  location_ = Text(response.get(), "printer-location");
  if (ipp_attribute_t* state = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM)) {
    switch (ippGetInteger(state, 0)) {
      case IPP_PSTATE_PROCESSING: status_ = kPrinterStatusPrinting; break;
      case IPP_PSTATE_STOPPED: status_ = kPrinterStatusPaused; break;
      default: status_ = 0; break;
    }
  }
}

std::string PortDeviceUri(std::string_view portName) {
  return "tvpdf29:/" + std::string(portName);
}

std::vector<std::string> PrintersOnPort(std::string_view deviceUri) {
  std::vector<std::string> names;
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
  static const char* const kWanted[] = {"printer-name", "device-uri"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                kWanted);
  IppPtr response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
  if (!response) return names;
  // The response lists one group of attributes per printer.
  std::string name, uri;
  auto flush = [&] {
    if (!name.empty() && uri == deviceUri) names.push_back(name);
    name.clear();
    uri.clear();
  };
  for (ipp_attribute_t* attr = ippFirstAttribute(response.get()); attr;
       attr = ippNextAttribute(response.get())) {
    const char* attrName = ippGetName(attr);
    if (!attrName) {
      flush();
      continue;
    }
    if (ippGetGroupTag(attr) != IPP_TAG_PRINTER) continue;
    const std::string key = attrName;
    const char* value = ippGetString(attr, 0, nullptr);
    if (key == "printer-name" && value) name = value;
    if (key == "device-uri" && value) uri = value;
  }
  flush();
  return names;
}

}  // namespace nimbra
