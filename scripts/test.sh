#!/bin/sh
# Installs the packages, builds, and runs the whole test suite twice: once in a normal build and
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
jobs=$(nproc)

"$top/scripts/build.sh" "$top/build/release"
ctest --test-dir "$top/build/release" --output-on-failure -j"$jobs"

"$top/scripts/build.sh" "$top/build/sanitize" -DNIMBRA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$top/build/sanitize" --output-on-failure -j"$jobs"
