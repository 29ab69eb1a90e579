#!/usr/bin/env bash
# Configures and builds the trees under build/:
#   native  core, rm516x-isp, rm516x-sim, unit tests (Linux)
#   mingw   core, rm516x_isp.exe, rm516x-isp.exe, tests for Wine (Windows, MinGW-w64)
# Usage: scripts/build.sh [native|mingw|asan|tsan|fuzz ...]   (default: native mingw)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trees=("$@")
((${#trees[@]})) || trees=(native mingw)
jobs=$(nproc)

configure() {  # dir, extra cmake args...
  local dir=$1; shift
  if [ ! -f "$root/build/$dir/build.ninja" ]; then
    cmake -S "$root" -B "$root/build/$dir" -G Ninja -DRM_WERROR=ON "$@" >/dev/null
  fi
  cmake --build "$root/build/$dir" -j "$jobs"
}

for tree in "${trees[@]}"; do
  case $tree in
    native) configure native -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    mingw)  configure mingw -DCMAKE_BUILD_TYPE=Release \
              -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" ;;
    asan)   configure asan -DCMAKE_BUILD_TYPE=Debug -DRM_SANITIZE=address,undefined ;;
    tsan)   configure tsan -DCMAKE_BUILD_TYPE=Debug -DRM_SANITIZE=thread ;;
    fuzz)   configure fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRM_FUZZ=ON -DRM_TESTS=OFF \
              -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ ;;
    *) echo "build: unknown tree $tree" >&2; exit 2 ;;
  esac
done
