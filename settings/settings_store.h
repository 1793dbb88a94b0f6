#pragma once
// The layered settings of a printer: the one-shot file ("runonce", consumed by the next job),
// the persistent file ("settings") and the administrator's global file in the application
// folder, merged into one dictionary of lower-case keys and completed with the defaults; plus
// the small per-user state (last file name, last folder). Per-user files live in DataFolder(),
// global files in the application folder (ProgramFolder()). Log lines go to the run's log.
#include <string>
#include <string_view>

#include "platform/dictionary.h"

namespace nimbra {

// The settings of `printerName`, merged and completed with DefaultSettings().
// With ignoreRunonce false a pending one-shot file is used (and deleted) instead of the
// persistent and global files; with true it is left alone. `fileName` receives the per-user
// file used; `runonceUsed` (optional) whether that was the one-shot file.
// An existing per-user file that cannot be loaded: error 1002 "Unable to load settings. Error
// <code>: <message>", source "LoadConfig".
DictionaryPtr LoadConfig(std::string_view printerName, bool ignoreRunonce, std::string& fileName,
                         bool* runonceUsed = nullptr);

// Replaces the file with one section "PDF Printer" holding the settings in their order.
// Returns true; a failed save raises 1004 "Error writing settings file '<file>'. Error ...".
bool WriteConfig(std::string_view fileName, const Dictionary& settings);

// "[PDF Printer]" and one line "  key=value" per setting, each ended by CR LF.
std::string GetConfigContent(const Dictionary& settings);

// A value of `section` in an INI file, or `defaultValue` when the file, section or key is
// missing. An existing file that cannot be loaded: error 1002, source "IniGetUserSetting".
std::string IniGetUserSetting(std::string_view file, std::string_view section,
                              std::string_view key, std::string_view defaultValue);
// Sets a value (an empty section means a loose value before the first section) and saves the
// file. Returns whether the save succeeded. An existing file that cannot be loaded: error 1002,
// source "IniSetUserSetting". The file is replaced as a whole (never left half-written).
bool IniSetUserSetting(std::string_view file, std::string_view section, std::string_view key,
                       std::string_view value);

// The user state file of the printer: DataFolder() + "/" + SettingsFileName("user", printer, @).
std::string UserSettingsFile(std::string_view printerName);
// Section "User" of the printer's user state file ("lastfilename", "lastfoldername").
std::string GetUserSetting(std::string_view printerName, std::string_view key,
                           std::string_view defaultValue);
bool SetUserSetting(std::string_view printerName, std::string_view key, std::string_view value);

// Renames the older per-instance files ("settings-<instance>.ini", runonce, user) of the
// printer to the per-printer names ("settings@<printer>.ini"); when the new file already exists
// the old one is deleted. Failures are raised with the hint of the step reached.
void MigrateSettingsFiles(std::string_view printerName);

}  // namespace nimbra
