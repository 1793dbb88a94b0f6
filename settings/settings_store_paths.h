#pragma once
// Exact existence tests for the settings code. Unlike FileExists/FolderExists of the platform
// these treat every character literally: printer names and configured paths may hold "*" or
// "?" and must never match some other file.
#include <string>

namespace nimbra {

// Something (file, folder, anything else) is at the path.
bool PathExists(const std::string& path);
// A file that is not a folder is at the path (symbolic links followed).
bool IsFileNotFolder(const std::string& path);
// A folder is at the path (symbolic links followed).
bool IsFolder(const std::string& path);

}  // namespace nimbra
