#pragma once
// Job capture and hand-off: StartDocPort creates the spool file in the printing user's work area,
// WritePort appends the job's data unchanged, EndDocPort closes it, hands it to gui (MakePDF),
// wakes WaitForOutput waiters and deletes the job from the queue.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/monitor.h"

namespace nimbra {

struct PortEntry;

// Per-job texts and their limits (characters, i.e. UTF-8 code points here).
inline constexpr std::size_t kSessionIdLimit = 49;
inline constexpr std::size_t kDocumentNameLimit = 999;
inline constexpr std::size_t kPrinterNameLimit = 999;
// The parameter string and the command line of gui fit in 1500 characters with the NUL.
inline constexpr std::size_t kParameterLimit = 1499;
inline constexpr std::size_t kEscapeLimit = 1500;

bool MyStartDocPort(PortHandle port, const char* printerName, uint32_t jobId, uint32_t level,
                    const uint8_t* docInfo);
bool WritePort(PortHandle port, const uint8_t* buffer, uint32_t size, uint32_t* written);
bool EndDocPort(PortHandle port);

// The monitor's hand-off: builds gui's job parameters and starts gui; true when it started.
// When it did not start, the spool file is removed (kept in debug mode).
bool MakePDF(PortEntry& port);

// A new session id: a GUID in lower-case hex, 8-4-4-4-12; "x" when none can be made.
std::string MakeSessionId();

// Copies `value` doubling every double quote; stops once limit - 3 output positions are used
// (a quote counts two), so the result has at most limit - 2 characters. Never splits a UTF-8
// character.
std::string EscapeQuotes(std::string_view value, std::size_t limit = kEscapeLimit);

// The job form of gui's parameters:
//   ps="<spool file>", sessionid="<id>", doc="<document>", printer="<printer>"
// at most kParameterLimit characters: when the names are too long together, the document name
// is shortened (the printer name selects the settings and is kept whole when it fits).
std::string BuildJobParameters(std::string_view spoolFile, std::string_view sessionId,
                               std::string_view documentName, std::string_view printerName);

// Cuts `text` to at most `limit` characters without splitting a UTF-8 character.
std::string CutText(std::string_view text, std::size_t limit);
// Number of characters (UTF-8 code points) of `text`.
std::size_t CharacterCount(std::string_view text);

// The per-job texts (guarded by the monitor lock).
struct JobTexts {
  std::string sessionId;
  std::string documentName;
  std::string printerName;
};
JobTexts& CurrentJobTexts();

}  // namespace nimbra
