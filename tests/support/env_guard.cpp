#include "tests/support/env_guard.h"

#include <cstdlib>

namespace nimbra::test_support {

ScopedEnv::ScopedEnv(const std::string& name, const std::optional<std::string>& value) {
  if (value) {
    Set(name, *value);
  } else {
    Unset(name);
  }
}

ScopedEnv::~ScopedEnv() {
  for (const auto& [name, old] : saved_) {
    if (old) {
      ::setenv(name.c_str(), old->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
}

void ScopedEnv::Set(const std::string& name, const std::string& value) {
  Save(name);
  ::setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnv::Unset(const std::string& name) {
  Save(name);
  ::unsetenv(name.c_str());
}

void ScopedEnv::Save(const std::string& name) {
  if (saved_.count(name)) return;  // the value from before the first change is the one to restore
  const char* old = std::getenv(name.c_str());
  saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
}

}  // namespace nimbra::test_support
