#pragma once
// The error carried through every operation of gui, the settings API and the config tool:
// a number, a description and a source. An operation that passes an error on appends
// "::" and its own name to the source, so the source reads as the chain of callers.
#include <exception>
#include <string>
#include <string_view>

namespace nimbra {

// Error numbers raised by the program itself.
namespace err {
inline constexpr long kGeneral = 1000;          // launching, files, guid, Bit
inline constexpr long kSettingsLoad = 1002;
inline constexpr long kSettingsWrite = 1004;
inline constexpr long kNoGhostscript = 1005;
inline constexpr long kNoPostScript = 1006;
inline constexpr long kGhostscriptFailed = 1007;
inline constexpr long kGhostscriptTimeout = 1008;
inline constexpr long kBackgroundMissing = 1011;
inline constexpr long kGhostscriptTooOld = 1012;
inline constexpr long kPageNumber = 1013;
inline constexpr long kClassNotRegistered = 429;
inline constexpr long kKeyExists = 457;         // dictionary: explicit add of an existing key
inline constexpr long kFileNotFound = 53;
inline constexpr long kPathFileAccess = 75;
}  // namespace err

class Error : public std::exception {
 public:
  Error(long number, std::string description, std::string source = {});

  long Number() const noexcept { return number_; }
  const std::string& Description() const noexcept { return description_; }
  const std::string& Source() const noexcept { return source_; }

  // Appends "::" + operation to the source; returns *this so callers can `throw e.PassedOn("X")`.
  Error& PassedOn(std::string_view operation);

  const char* what() const noexcept override { return description_.c_str(); }

 private:
  long number_;
  std::string description_;
  std::string source_;
};

// Maps an errno value to the error numbers callers rely on: ENOENT -> 53 (file not found);
// EACCES, EPERM, EBUSY, ETXTBSY, EROFS -> 75 (path/file access error); any other keeps errno.
long ErrorNumberFromErrno(int errnoValue);

// An Error for a failed system call: the mapped number and the system's text for errnoValue,
// prefixed with `context` when it is not empty ("<context>: <system text>").
Error SystemError(int errnoValue, std::string_view context = {}, std::string source = {});

}  // namespace nimbra
