#pragma once
// Message boxes of the monitor itself. The monitor runs in the backend, which has no screen: a
// message becomes a line on standard error that CUPS shows as the printer's state, "ERROR: "
// for the error icon and "INFO: " otherwise, caption and text joined by ": ".
#include <string_view>

namespace nimbra {

enum class MonitorIcon { kInformation = 64, kExclamation = 48, kError = 16 };

void MonitorMessageBox(std::string_view text, std::string_view caption, MonitorIcon icon);

}  // namespace nimbra
