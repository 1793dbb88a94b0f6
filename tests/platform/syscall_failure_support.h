#pragma once
// Makes chosen system calls of the calling process fail with a chosen errno (a seccomp filter),
// for failures that cannot be produced otherwise on a working machine: a kernel without
// getrandom, a process out of descriptors. Irreversible: call it only in a death-test child.
// (Lowering RLIMIT_NOFILE instead would also starve the sanitizer runtimes, which need
// descriptors of their own.)
#include <utility>
#include <vector>

namespace nimbra::test {

// Each pair is (system call number, errno). False when the filter could not be installed.
bool FailSystemCalls(const std::vector<std::pair<long, int>>& failures);

}  // namespace nimbra::test
