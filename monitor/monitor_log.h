#pragma once
// The monitor's settings, debug marker and log ("port.log", emptied by each job's first line).
// Log lines: "[" category "] " message, ": " detail when there is one.
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

inline constexpr const char* kLogFileName = "port.log";
inline constexpr const char* kDebugMarkerName = "debug.txt";

// The string value `name` of the settings key, or nullopt.
std::optional<std::string> ReadSettingValue(std::string_view name);
// True when "debug.txt" (file or folder) exists in the AppFolder.
bool IsDebug();
// Computes the log file path of the job (LogFolder, else the work area, else the system's
// temporary folder) and makes it current; false when none could be computed.
bool MakeLogFileName();
// Writes one line; with `truncate` the log is emptied first. False when nothing was written.
bool DebugLog(const char* category, const char* message, const char* detail = nullptr,
              bool truncate = false);
inline bool DebugLog(std::string_view category, std::string_view message,
                     const std::string& detail) {
  return DebugLog(std::string(category).c_str(), std::string(message).c_str(), detail.c_str());
}
// The current log path ("" until the first job).
std::string LogFileName();
void ResetLogFileNameForTesting();

}  // namespace nimbra
