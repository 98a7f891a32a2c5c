#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root). Idempotent:
# only missing packages are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev   # the supervisor's rules and unit tests
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64   # the Windows programs
  wine wine64 xvfb xauth                          # running them here
  imagemagick                                     # screenshots of the lock screen
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
