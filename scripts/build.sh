#!/usr/bin/env bash
# Configures and builds the trees under build/:
#   native  core, rm516x-isp, rm516x-sim, man pages, packages (Linux; no tests)
#   mingw   core, rm516x_isp.exe, rm516x-isp.exe, tests for Wine (Windows, MinGW-w64)
#   asan    everything and every unit test, AddressSanitizer + UBSan (clang)
#   tsan    the tests labelled threads and what they run, ThreadSanitizer (clang)
#   fuzz    the libFuzzer targets (clang)
# The sanitizer trees use clang: it builds them a third faster than gcc, and its warnings
# add to gcc's in the other two. RM_BUILD_JOBS sets ninja's -j (default: the cores).
# Usage: scripts/build.sh [native|mingw|asan|tsan|fuzz ...]   (default: native mingw)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trees=("$@")
((${#trees[@]})) || trees=(native mingw)
jobs=${RM_BUILD_JOBS:-$(nproc)}
clang=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
# -O2 rather than CMake's -O3: a serial tool gains nothing from it, and the trees build a
# sixth faster.
release=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG")

configure() {  # dir, target ('' for all), extra cmake args...
  local dir=$1 target=$2; shift 2
  if [ ! -f "$root/build/$dir/build.ninja" ]; then
    cmake -S "$root" -B "$root/build/$dir" -G Ninja -DRM_WERROR=ON "$@" >/dev/null
  fi
  cmake --build "$root/build/$dir" -j "$jobs" ${target:+--target "$target"}
}

for tree in "${trees[@]}"; do
  case $tree in
    native) configure native "" "${release[@]}" -DRM_TESTS=OFF ;;
    mingw)  configure mingw '' "${release[@]}" \
              -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" ;;
    asan)   configure asan '' -DCMAKE_BUILD_TYPE=Debug -DRM_SANITIZE=address,undefined "${clang[@]}" ;;
    tsan)   configure tsan tests-threads -DCMAKE_BUILD_TYPE=Debug -DRM_SANITIZE=thread "${clang[@]}" ;;
    fuzz)   configure fuzz image_fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRM_FUZZ=ON -DRM_TESTS=OFF \
              "${clang[@]}" ;;
    *) echo "build: unknown tree $tree" >&2; exit 2 ;;
  esac
done
