#!/usr/bin/env bash
# Runs the Wine tests of a terminal whose disk is full: mounts a 4 MiB tmpfs at DIR, hands it
# to the tests as ZORPA_FULL_DISK_FOLDER (seen by Wine through Z:) and unmounts it afterwards,
# also when the tests fail. Where mounting is refused (not root, no tmpfs), the tests are
# reported as skipped with the reason.
#   full-disk-test.sh DIR CMD...
set -euo pipefail

readonly SkipStatus=77
dir=${1:?usage: full-disk-test.sh DIR CMD...}
shift
dir=$(realpath -m "$dir")
mkdir -p "$dir"
# A mount left by an interrupted run would hide what this run writes.
mountpoint -q "$dir" && umount "$dir"

if ! out=$(mount -t tmpfs -o size=4m tmpfs "$dir" 2>&1); then
  echo "skipped: cannot mount a 4 MiB tmpfs at $dir: $(head -n1 <<<"${out:-mount failed}")"
  exit "$SkipStatus"
fi
# Wine may still be closing the tests' files for a moment after they end.
unmount() {
  for _ in 1 2 3 4 5; do
    umount "$dir" 2>/dev/null && return 0
    sleep 1
  done
  umount "$dir"
}
trap unmount EXIT

ZORPA_FULL_DISK_FOLDER="Z:$(tr / '\\' <<<"$dir")"
export ZORPA_FULL_DISK_FOLDER
"$@"
