#!/bin/sh
# Configures and builds into the given build folder (default: build/release).
# Extra arguments are passed to CMake, e.g. -DNIMBRA_SANITIZE=ON.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build/release}
[ $# -gt 0 ] && shift
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$dir" -j"$(nproc)"
