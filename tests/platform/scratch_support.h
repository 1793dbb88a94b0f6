#pragma once
// Helpers of the platform tests: a fresh temporary folder removed with everything in it, and an
// environment variable set for the length of a test.
#include <optional>
#include <string>

namespace nimbra::test {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

class ScopedEnv {
 public:
  // Sets the variable, or removes it when value is nullopt; the old state comes back at the end.
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Bytes of a file as read with the standard library (independent of the code under test).
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);

}  // namespace nimbra::test
