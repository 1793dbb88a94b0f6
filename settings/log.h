#pragma once
// The run's log: one line per event in the user's temporary folder, file
// "<sessionId>_printer.log". Each line is "YYYY-MM-DD HH:MM:SS, <computer>, <user>: <message>"
// and CR LF; a message with line breaks is written as it is (continuation lines carry no time
// stamp). The file is opened and closed for every line, so others can read or delete it
// between lines.
#include <chrono>
#include <string>
#include <string_view>

namespace nimbra {

// The session id whose log this process writes; set at start-up before the first line.
void SetLogSessionId(std::string sessionId);

// UserTempFolder() + "/" + sessionId + "_printer.log"; computed on first use and kept.
std::string LogFileName();

// Deletes an existing log file. Throws Error (same number) "Error removing old log file.
// Error <number>: <description>" when that fails.
void ResetLog();

// Appends one line. Retries opening for up to 20 seconds in 100 ms steps, processing pending
// events between attempts; then throws the last error's number with "Unable to open and append
// to the log file '<path>'. <description>". A failed write or close drops the line silently.
void WriteLog(std::string_view text);

// WriteLog that never throws (for the error handler, whose own line may fail). True when the
// line was written.
bool TryWriteLog(std::string_view text) noexcept;

// The log line for `text` (time stamp, computer, user, text, CR LF) at the current local time.
std::string FormatLogLine(std::string_view text);

// Test seams: shorten the 20-second open retry; forget the cached file name and session id.
void SetLogOpenTimeoutForTesting(std::chrono::milliseconds timeout);
void ResetLogStateForTesting();

}  // namespace nimbra
