#include "settings/settings_file_names.h"

#include "platform/files.h"

namespace nimbra {

std::string SettingsFileName(std::string_view base, std::string_view context, bool useAt) {
  std::string name(base);
  if (!context.empty()) {
    name += useAt ? "@" : "-";
    name += FileNameEncode(context, /*percentForm=*/true);
  }
  return name + ".ini";
}

std::string InstanceName(std::string_view printerName) {
  const auto open = printerName.find('[');
  if (open == std::string_view::npos) return {};
  const auto close = printerName.find(']', open + 1);
  if (close == std::string_view::npos) return {};
  return FileNameEncode(printerName.substr(open + 1, close - open - 1), /*percentForm=*/true);
}

}  // namespace nimbra
