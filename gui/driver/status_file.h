#pragma once
// The status file: a small UTF-16LE text that other programs poll to learn how a job ended
// (errors, pages, delivered files, and the settings the job ran with). Its path is the job's
// `statusfile` setting; without it nothing is written.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// The status text (UTF-8, every line ended by CR LF):
//   [Status] / "  Errors=" 0|1 / "  PageCount=" n / "  FileCount=" n / "" / [Files] /
//   the file list, one "  File<n>=<path>" line each / "" / GetConfigContent(jobSettings).
// `fileList` holds the file lines separated by "\r\n" or "\n" (empty: no file line).
std::string StatusFileText(bool success, const Dictionary& jobSettings, std::int32_t pageCount,
                           std::int32_t fileCount, std::string_view fileList);

// Writes StatusFileText as UTF-16LE (no byte-order mark) to the trimmed `statusfile` setting,
// replacing any previous content, after logging "Create status file <setting>". An empty
// setting does nothing. Failure: Error with its own number, source "WriteStatusFile" and the
// description "Error writing status file '<path>'. Error <number>: <description>".
void WriteStatusFile(bool success, const Dictionary& jobSettings, std::int32_t pageCount,
                     std::int32_t fileCount, std::string_view fileList);

}  // namespace nimbra
