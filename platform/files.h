#pragma once
// Files and folders: whole-file reads and writes, existence tests, folder creation and the small
// path operations. Paths use "/" as separator. Errors are nimbra::Error with the numbers callers
// test for: 53 for a missing file, 75 for an access error (see ErrorNumberFromErrno).
#include <string>
#include <string_view>

#include "platform/temp_path.h"

namespace nimbra {

// All bytes of the file (empty for an empty file). Empty path: error 1000 "Function ReadFile does
// not accept an empty file name as parameter."; no descriptor free: error 1000 "Function ReadFile
// was not able to get a free file handle."; missing file: 53.
std::string ReadFile(std::string_view path);
// The whole file as text (UTF-8, unchanged bytes). Missing file: 53.
std::string ReadTextFile(std::string_view path);

// Writes exactly these bytes as the file's whole content: a longer old file is cut, so no old
// content remains; no bytes leaves an empty file.
void WriteBytes(std::string_view path, std::string_view bytes);
// Texts are UTF-8 already, so this is WriteBytes of the text.
void WriteTextFile(std::string_view path, std::string_view text);

// True when the path matches at least one entry that is not a folder. "*" and "?" are
// wildcards (they also match names starting with "."); every other character is literal.
bool FileExists(std::string_view path);
// Trailing "/" removed, true when the path (wildcards as above) matches a folder.
bool FolderExists(std::string_view path);

// Exact existence tests: every character literal, symbolic links followed, an empty path is
// nothing. For paths that may hold "*" or "?" (printer names, configured paths) and must never
// match some other file.
// Something (file, folder, anything else) is at the path.
bool PathExists(const std::string& path);
// A file that is not a folder is at the path.
bool IsFileNotFolder(const std::string& path);
// A folder is at the path.
bool IsFolder(const std::string& path);

// Creates every missing folder of the path. On failure: the error's own number with the
// description "Error creating folder in function MkDirRecurse. Target=<target>, Current=<path
// reached so far>. <system text>".
void MkDirRecurse(std::string_view target);

// The text up to and including the last "/" ("" when there is none).
std::string FolderOf(std::string_view path);
// The text after the last "/" (the whole text when there is none).
std::string FileNameOf(std::string_view path);
// Removes all trailing "/".
std::string StripTrailingBackslashes(std::string_view path);

// An absolute path ("/...") is returned unchanged; any other is base + "/" + path. An empty
// base means ProgramFolder().
std::string ResolvePath(std::string_view path, std::string_view base = {});

// Replaces each of \ / : * ? " < > | by "%" and two upper-case hex digits (percentForm) or by
// "_", then removes all trailing ".".
std::string FileNameEncode(std::string_view text, bool percentForm);

// The application folder (no trailing "/"): the environment variable NIMBRA_APP_FOLDER when set
// and not empty (tests, a build that is not installed), else the folder of the running program.
std::string ProgramFolder();
// The process's current folder ("" when it cannot be read).
std::string CurrentFolder();

}  // namespace nimbra
