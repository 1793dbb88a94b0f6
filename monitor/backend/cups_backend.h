#pragma once
// The CUPS backend tvpdf29: plays the spooler's part for the monitor library. Without
// arguments it lists the monitor's ports as CUPS device lines; with a job (job-id user title
// copies options [file]) it drives the monitor's table for the port of DEVICE_URI.
#include <string>
#include <string_view>

namespace nimbra {

inline constexpr const char* kDeviceScheme = "tvpdf29";

// "tvpdf29:/TVPDF29" -> "TVPDF29" (percent escapes decoded); "" when the URI is not ours.
std::string PortNameFromDeviceUri(std::string_view uri);

// The whole backend; returns the CUPS exit code.
int RunBackend(int argc, char* argv[]);

}  // namespace nimbra
