#!/usr/bin/env bash
# Builds the release packages into dist/:
#   deb  rm516x-isp_VERSION_amd64.deb from the native tree
#   zip  rm516x-isp-VERSION-win64.zip from the MinGW tree
# Usage: scripts/package.sh [deb|zip ...]   (default: deb zip)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
kinds=("$@")
((${#kinds[@]})) || kinds=(deb zip)
scripts/setup.sh
mkdir -p dist

pack() {  # tree, generator
  local out=$root/build/$1/packages
  scripts/build.sh "$1"
  rm -rf "$out"
  cpack --config "build/$1/CPackConfig.cmake" -G "$2" -B "$out" >"$out.log" 2>&1 ||
    { cat "$out.log" >&2; return 1; }
  local file
  for file in "$out"/*."${2,,}"; do
    cp "$file" dist/
    echo "dist/${file##*/}"
  done
}

for kind in "${kinds[@]}"; do
  case $kind in
    deb) pack native DEB ;;
    zip) pack mingw ZIP ;;
    *) echo "package: unknown kind $kind" >&2; exit 2 ;;
  esac
done
