#pragma once
// Checks that need file permissions to apply: CI runs as root, whom permission bits never stop,
// so such checks run in a child process switched to the unprivileged user "nobody".
#include <sys/types.h>

#include <functional>
#include <utility>

namespace nimbra::test_support {

// The uid and gid of "nobody" (65534 when there is no such entry).
std::pair<uid_t, gid_t> NobodyIds();

// Runs `check` in a child process that is not root (root drops to nobody first) and returns
// the child's exit code; 255 means the check threw or privileges could not be dropped.
int RunUnprivileged(const std::function<int()>& check);

}  // namespace nimbra::test_support
