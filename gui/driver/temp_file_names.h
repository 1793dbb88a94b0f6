#pragma once
// Names of a run's temporary files: the user's temporary folder, "/", the session id and a fixed
// suffix. Every file the run makes carries the session id, so the clean-up finds them all.
#include <string>
#include <string_view>

namespace nimbra {

namespace suffix {
inline constexpr std::string_view kPatched = "_patched.ps";
inline constexpr std::string_view kHeader = "_header.ps";
inline constexpr std::string_view kMergeHeader = "_mergeheader.ps";
inline constexpr std::string_view kParams = "_params.gs";
inline constexpr std::string_view kPrinterPdf = "_printer.pdf";
inline constexpr std::string_view kMergeParams = "_me_param.gs";
inline constexpr std::string_view kMergePdf = "_merge.pdf";
inline constexpr std::string_view kSuperimposeEps = "_si_#.eps";
inline constexpr std::string_view kSuperimposeFullEps = "_si_full_#.eps";
inline constexpr std::string_view kSuperimposeParams = "_si_param_#.gs";
inline constexpr std::string_view kDeviceParams = "_device_param.gs";
inline constexpr std::string_view kPage = "_page";
}  // namespace suffix

// UserTempFolder() + "/" + sessionId + suffix. Error 1000 when there is no temporary folder:
// the files must not land wherever an empty folder name would put them.
std::string TempFileName(const std::string& sessionId, std::string_view fileSuffix);

// The capture file of a parameter file: its ".gs" extension replaced by ".out".
std::string CaptureFileName(const std::string& parameterFile);

}  // namespace nimbra
