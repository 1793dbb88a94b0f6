#pragma once
// The end of every run: the run's own temporary files (named by its session id) are removed,
// and so is any file of the temporary folder older than two days. The debug marker file keeps
// everything; the job's debug setting keeps the run's own files; after a failure the run's log
// stays. Only regular files directly in the temporary folder are ever removed: subfolders,
// symbolic links and anything outside the folder are not touched.
#include <chrono>
#include <string>

#include "settings/localisation.h"

namespace nimbra {

// Files older than this are removed whatever their name.
inline constexpr std::chrono::hours kStaleTempFileAge{48};

// Cleanup of `tempFolder` for the run `sessionId` ("" for a run without one: only the two-day
// rule applies). `stepLabel` is overwritten with each step. Files of the run are removed unless
// `debugMode`, or `errorMode` and the name ends in ".log" (any case), or `debugMarker`; every
// file older than kStaleTempFileAge is removed unless `debugMarker`. Failures to delete are
// ignored; a folder that cannot be listed (other than a missing one) throws.
void CleanupFolder(const std::string& tempFolder, const std::string& sessionId, bool debugMode,
                   bool errorMode, bool debugMarker, std::string& stepLabel);

// CleanupFolder on UserTempFolder() with IsDebugMode(); the step "Cleanup: get user
// temp." comes first.
void Cleanup(const std::string& sessionId, bool debugMode, bool errorMode, std::string& stepLabel);

}  // namespace nimbra
