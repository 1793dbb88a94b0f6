#pragma once
// Asking Ghostscript for its version starts the program, which costs more than the rest of a
// small job's own work. The answer is kept, for the process and in the user's private temporary
// folder, together with the identity of the program file (device, inode, size, modification
// time), and used again only while that file is the same one.
#include <functional>
#include <optional>
#include <string>

#include "gui/render/ghostscript.h"

namespace nimbra {

// The version of the program at `exePath`: remembered when the file is unchanged, else
// `ask(exePath)`, whose answer is then remembered. `cacheFolder` empty: only for the process.
GhostscriptVersion CachedGhostscriptVersion(
    const std::string& exePath, const std::string& cacheFolder,
    const std::function<GhostscriptVersion(const std::string&)>& ask);

// Forgets what this process remembered (tests).
void ForgetGhostscriptVersionForTesting();

// Name of the file in the cache folder.
inline constexpr char kGhostscriptVersionCacheName[] = "ghostscript-version.txt";

}  // namespace nimbra
