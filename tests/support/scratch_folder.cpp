#include "tests/support/scratch_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace nimbra::test_support {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(std::string_view label) {
  std::string pattern = "/tmp/" + std::string(label) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
  }
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::string& path) {
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    // Never through a link: the permissions of whatever it points to are not ours to change.
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path, ec);
}

}  // namespace nimbra::test_support
