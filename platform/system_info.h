#pragma once
// Identity of the machine, the user and new objects: GUIDs, computer and user names, the
// system's error texts and the timestamp format of the logs.
#include <chrono>
#include <ctime>
#include <string>

namespace nimbra {

// A new random (version 4) GUID as 8-4-4-4-12 upper-case hex digits with hyphens.
// Failure: error 1000 "Error generating guid: <reason>".
std::string NewGuid();

// The host name; cached once it is not empty.
std::string ComputerName();
// The login name of the real user (passwd entry of getuid()); cached once it is not empty.
// "" when there is no passwd entry.
std::string UserName();

// The system's text for an errno value.
std::string SystemErrorText(int errnoValue);

// Local time as "YYYY-MM-DD HH:MM:SS".
std::string FormatTimestamp(std::chrono::system_clock::time_point t);
std::string FormatTimestamp(std::time_t t);

}  // namespace nimbra
