#pragma once
// Environment variables changed for the length of a test: every variable set or unset through
// the guard gets its value from before the first change back at the end.
#include <map>
#include <optional>
#include <string>

namespace nimbra::test_support {

class ScopedEnv {
 public:
  ScopedEnv() = default;
  // Sets the variable, or removes it when `value` is nullopt.
  ScopedEnv(const std::string& name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const std::string& name, const std::string& value);
  void Unset(const std::string& name);

 private:
  void Save(const std::string& name);
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace nimbra::test_support
