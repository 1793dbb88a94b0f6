#pragma once
// The folders the program works in (per-user data folder, per-user temporary folder, the
// application folder's fallbacks, a few folders of the desktop), and the system's registry key
// from which administrators can move them.
//
// Data folder candidates, first that exists or can be created wins:
//   1. $XDG_CONFIG_HOME (else $HOME/.config) + "/Varnell inc./PDF Printer"
//   2. $HOME + "/Varnell inc./PDF Printer"
//   3. registry value "USERDATA" as it stands (one trailing "/" removed)
//   4. application folder + "/data"
// Temporary folder candidates (see UserTempFolderFor for the privacy rule):
//   1. the user's $TMPDIR, when set, + "/Varnell inc./PDF Printer"
//   2. PrivateTempFolder(uid) (platform/temp_path.h) + "/Varnell inc./PDF Printer"
//   3. registry value "USERTEMP" as it stands (one trailing "/" removed)
//   4. application folder + "/temp"
// Both results are computed once per process and kept; an empty result (no candidate worked)
// is not kept, so a later call tries again.
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// "Varnell inc." and "PDF Printer": the names in the folder paths and the registry key.
std::string CompanyName();
std::string ProductFolderName();
// HKEY_LOCAL_MACHINE\SOFTWARE\Varnell inc.\PDF Printer\Settings (only "\" in the names would
// be replaced, by "_").
inline constexpr std::string_view kSettingsRegistryKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Varnell inc.\\PDF Printer\\Settings";

// Names of the values under kSettingsRegistryKey.
namespace reg {
inline constexpr std::string_view kAppFolder = "AppFolder";
inline constexpr std::string_view kLogFolder = "LogFolder";
inline constexpr std::string_view kUserData = "USERDATA";
inline constexpr std::string_view kUserTemp = "USERTEMP";
inline constexpr std::string_view kGhostscriptFolder = "ghostscriptfolder";
}  // namespace reg

// base without one trailing "/", then "/" + cleaned company name + "/" + cleaned product
// folder name (cleaned: the file-name encoder in underscore form).
std::string WithFolderSuffix(std::string_view base);

// The per-user data folder (no trailing "/"), created if needed, or "". Cached per process.
// Throws the folder-creation error when creating a candidate fails with an error.
std::string DataFolder();

// Whose temporary folder to compute: the monitor, running as root, computes it for the job's
// user; gui computes it for itself. `tmpDir` is the user's TMPDIR ("" when not set).
struct UserIdentity {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string home;
  std::string tmpDir;
};
// The calling process's user: real uid/gid, $HOME (else the passwd entry), $TMPDIR.
UserIdentity CurrentUserIdentity();
// The passwd entry of `userName` (uid, gid, home); tmpDir left empty. nullopt when unknown.
std::optional<UserIdentity> UserIdentityForName(std::string_view userName);

// The per-user temporary folder of `user` (no trailing "/"), created if needed, or "". Never
// cached. The folder that holds a user's job files must be private: every folder this function
// creates or enters below a candidate's base must be a real folder (never a symlink) owned by
// the user; the final folder is made mode 0700. A candidate that breaks this rule is refused
// and the next one is tried. Run as root for another user, created folders are given to that
// user (chown). Throws when creating a folder fails with an error (e.g. permission denied).
std::string UserTempFolderFor(const UserIdentity& user);
// UserTempFolderFor(CurrentUserIdentity()), cached per process.
std::string UserTempFolder();

// The string value `name` under kSettingsRegistryKey, or "" (missing value, no registry).
std::string SettingsRegistryValue(std::string_view name);

// True when `path` is an existing folder after the call; with `create`, a missing folder is
// first created with all missing parents (MkDirRecurse; its errors are thrown).
bool EnsureFolder(const std::string& path, bool create);

// Special-folder identifiers (the numbering callers and settings use).
enum SpecialFolderId : int { kDesktop = 0, kDocuments = 5, kFonts = 20 };
// The folder (no trailing "/") or "" when unknown. Desktop and documents are the XDG user dirs
// as xdg-user-dir resolves them ($XDG_CONFIG_HOME or ~/.config, file user-dirs.dirs), falling
// back to $HOME/Desktop and $HOME; fonts is FontsFolder(). Never creates a folder.
std::string SpecialFolder(int id);
// fontconfig's font folders that exist, in fontconfig's order.
std::vector<std::string> FontFolders();
// The first of FontFolders(), or "".
std::string FontsFolder();

// Forgets the cached data and temporary folders (tests change the environment between cases).
void ResetFolderCacheForTesting();

}  // namespace nimbra
