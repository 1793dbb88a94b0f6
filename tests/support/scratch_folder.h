#pragma once
// A fresh folder under /tmp for one test, removed with everything in it at the end. Under /tmp
// and not under $TMPDIR: tests change TMPDIR for the code under test, and the scratch folder
// must not move with it.
#include <string>
#include <string_view>

namespace nimbra::test_support {

class ScratchFolder {
 public:
  // `label` names the folder ("<label>-XXXXXX"), so a leftover shows which tests made it.
  explicit ScratchFolder(std::string_view label = "nimbra-test");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Removes the tree at `path`. Tests take permissions away from folders (and root may have made
// read-only ones); those are given back to the owner first so that everything can go.
void RemoveTree(const std::string& path);

}  // namespace nimbra::test_support
