#pragma once
// The printing user's work area: the user's temporary folder for the program (the same folder
// gui uses as that user), ending with "/"; the spool file of a job is named by the work area,
// the session id, "_" and "printer.ps". Every file operation in it runs with the user's own
// file-system identity (see user_account.h), so a job can never reach another user's files.
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

inline constexpr const char* kSpoolFileSuffix = "_printer.ps";

// The work area of the thread's client user, created when missing; nullopt when it cannot be
// found or created (the reason is shown as a monitor message).
std::optional<std::string> GetWorkArea();
// work area + session id + "_printer.ps"; false with an empty destination without work area.
bool GetSpoolFileName(std::string& destination, std::string_view sessionId);
// True when the folder exists afterwards; creates missing parents.
bool MakeDirectories(std::string_view path);

// Creates the spool file new for writing (an old file of that name is removed first), as the
// client user, never following a symbolic link; -1 (errno set) when it cannot be created.
int CreateSpoolFile(const std::string& path);
// Removes a file as the client user; false when it did not exist or could not be removed.
bool RemoveSpoolFile(const std::string& path);

}  // namespace nimbra
