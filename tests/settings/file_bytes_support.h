#pragma once
// File helpers of the settings tests: whole-file reads and writes and the status of a path, done
// with the standard library and the system so a check never goes through the code under test.
// Scratch folders, environment guards and unprivileged runs come from tests/support.
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace nimbra::scratch {

inline void WriteBytesTo(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytesFrom(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
