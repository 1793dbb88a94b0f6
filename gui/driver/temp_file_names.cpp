#include "gui/driver/temp_file_names.h"

#include "platform/error.h"
#include "settings/folders.h"

namespace nimbra {

std::string TempFileName(const std::string& sessionId, std::string_view fileSuffix) {
  const std::string folder = UserTempFolder();
  if (folder.empty()) {
    throw Error(err::kGeneral, "No folder for temporary files could be found or created.",
                "TempFileName");
  }
  return folder + "/" + sessionId + std::string(fileSuffix);
}

std::string CaptureFileName(const std::string& parameterFile) {
  // Only the extension: a ".gs" in a folder name (say "/home/a/.gs-cache/") must stay.
  std::string out = parameterFile;
  if (out.size() >= 3 && out.compare(out.size() - 3, 3, ".gs") == 0) out.replace(out.size() - 3, 3, ".out");
  return out;
}

}  // namespace nimbra
