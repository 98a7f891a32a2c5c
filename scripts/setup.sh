#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root). Idempotent:
# only missing packages are installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest libgtest-dev   # the supervisor's rules and unit tests
  g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64   # the Windows programs, x64
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686       # and 32-bit
  zip                                             # the release zips, byte for byte the same
  wine wine64 wine32:i386 xvfb xauth              # running them here
  imagemagick                                     # screenshots of the lock screen
  xserver-xephyr                                  # a display with two monitors
  x11-utils                                       # xprop: a work area on the X root
  openssl osslsigncode                            # test certificates, signed stand-ins
  python3                                         # reading the programs' manifests
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Wine's 32-bit part comes from the i386 architecture. A Wine prefix made before it was
  # installed no longer starts any program afterwards: the test and demo scripts make theirs
  # fresh on every run.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
