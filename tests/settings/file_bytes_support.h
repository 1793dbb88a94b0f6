#pragma once
// File helpers of the settings tests: the status of a path, read with the system so a check
// never goes through the code under test. Whole-file reads and writes, scratch folders,
// environment guards and unprivileged runs come from tests/support.
#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "tests/support/file_bytes.h"

namespace nimbra::scratch {

inline struct stat LStat(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + path);
  return st;
}

inline bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace nimbra::scratch
