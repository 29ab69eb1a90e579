#!/usr/bin/env bash
# Installs what the build, the tests and the demo need (Debian 12, as root). Idempotent:
# packages already present are not asked for again.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xdotool imagemagick
  sdcc sdcc-ucsim srecord binutils hyperfine python3 procps
  libcli11-dev nlohmann-json3-dev
  help2man groff-base man-db lintian dpkg-dev fakeroot zip unzip
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root (apt-get) or install: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
