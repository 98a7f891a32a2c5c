#!/usr/bin/env bash
# Builds the two programs and the release zips a second time, from a copy of the tracked
# files in another folder, and fails unless ZORPA.exe, Zurozoz.exe and each zip are byte for
# byte the ones in build/<preset>; then writes SHA256SUMS beside each zip. Run after the
# Windows trees are built and packed (scripts/test.sh does).
#   scripts/check-reproducible.sh [PRESET...]   (default: mingw mingw-x86)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(mingw mingw-x86)
readonly PROGRAMS=(bin/ZORPA.exe bin/Zurozoz.exe)

# Both builds date the zip entries by the last commit; the copy has no git history to ask.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH

second=$(mktemp -d)
trap 'rm -rf "$second"' EXIT
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$second"

failures=0
for preset in "${presets[@]}"; do
  first_dir=build/$preset
  second_dir=$second/build/$preset
  zips=("$first_dir"/ZORPA-*.zip)
  [ -f "${zips[0]}" ] || { echo "no zip in $first_dir: run cpack there first" >&2; exit 1; }
  zip=$(basename "${zips[0]}")
  (cd "$second" && cmake --preset "$preset" >/dev/null &&
     cmake --build --preset "$preset" --target ZORPA Zurozoz >/dev/null &&
     cd "$second_dir" && cpack >/dev/null)
  for file in "${PROGRAMS[@]}" "$zip"; do
    if cmp -s "$first_dir/$file" "$second_dir/$file"; then
      echo "identical: $preset/$file $(sha256sum <"$first_dir/$file" | cut -d' ' -f1)"
    else
      echo "DIFFERENT: $first_dir/$file and its second build (packed before the last commit?)" >&2
      failures=$((failures + 1))
    fi
  done
done

[ "$failures" -eq 0 ] || exit 1
for preset in "${presets[@]}"; do
  (cd "build/$preset" && sha256sum ZORPA-*.zip >SHA256SUMS)
done
echo "reproducible: ${presets[*]} built twice in two folders give the same programs and zips"
