#!/usr/bin/env bash
# Packs a Windows build tree's release zip into WORK_DIR and checks what the site receives:
# exactly the two programs, the clip and the site notes in one folder, programs for the
# tree's architecture carrying the release version, each the very program the tests ran
# (stripped where it was built) and at most 240 KiB, the clip as committed, notes in CRLF.
#   check-zip.sh CPACK CPACK_CONFIG WORK_DIR PACKAGE_NAME VERSION PE_FORMAT OBJDUMP WINDRES CLIP BIN_DIR
set -euo pipefail
usage='usage: check-zip.sh CPACK CPACK_CONFIG WORK_DIR PACKAGE_NAME VERSION PE_FORMAT OBJDUMP WINDRES CLIP BIN_DIR'
[ $# -eq 10 ] || { echo "$usage" >&2; exit 2; }
cpack=$1 config=$2 work=$3 name=$4 version=$5 pe_format=$6 objdump=$7 windres=$8 clip=$9
bin_dir=${10}

readonly EXPECTED_FILES=(Drillrle.avi SITE.txt ZORPA.exe Zurozoz.exe)
readonly PROGRAMS=(ZORPA.exe Zurozoz.exe)
readonly MAX_PROGRAM_BYTES=$((240 * 1024))

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work/unpacked"
"$cpack" --config "$config" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack failed" >&2; exit 1; }
zip=$work/$name.zip
[ -f "$zip" ] || { echo "FAIL: cpack made no $zip" >&2; ls "$work" >&2; exit 1; }

listed=$(cmake -E tar tf "$zip" | sort)
expected=$(printf "$name/%s\n" "${EXPECTED_FILES[@]}" | sort)
if [ "$listed" != "$expected" ]; then
  fail "the zip holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"
fi

(cd "$work/unpacked" && cmake -E tar xf "$zip")
folder=$work/unpacked/$name

IFS=. read -r major minor patch <<<"$version"
for program in "${PROGRAMS[@]}"; do
  [ -f "$folder/$program" ] || continue
  size=$(stat -c %s "$folder/$program")
  [ "$size" -le "$MAX_PROGRAM_BYTES" ] || fail "$program is $size bytes, over $MAX_PROGRAM_BYTES"
  cmp -s "$folder/$program" "$bin_dir/$program" || fail "$program differs from $bin_dir/$program"
  "$objdump" -f "$folder/$program" | grep -q "file format $pe_format\$" ||
    fail "$program is not $pe_format: $("$objdump" -f "$folder/$program" | grep 'file format')"
  resources=$("$windres" -J coff -O rc -i "$folder/$program")
  grep -q "FILEVERSION $major, $minor, $patch, 0\$" <<<"$resources" ||
    fail "$program's numeric file version is not $version"
  for field in FileVersion ProductVersion; do
    grep -qF "VALUE \"$field\", \"$version\"" <<<"$resources" ||
      fail "$program's $field text is not \"$version\""
  done
done

if [ -f "$folder/Drillrle.avi" ]; then
  cmp -s "$clip" "$folder/Drillrle.avi" || fail "Drillrle.avi differs from $clip"
fi

notes=$folder/SITE.txt
if [ -f "$notes" ]; then
  grep -q "ZORPA $version " "$notes" || fail "SITE.txt does not name version $version"
  lines=$(wc -l <"$notes")
  crlf_lines=$(grep -c $'\r$' "$notes" || true)
  [ "$lines" -gt 0 ] && [ "$crlf_lines" -eq "$lines" ] ||
    fail "SITE.txt has $crlf_lines CRLF lines out of $lines"
  grep -q '@' "$notes" && fail "SITE.txt has an unfilled placeholder: $(grep '@' "$notes")"
fi

[ "$failures" -eq 0 ] || exit 1
echo "$name.zip: ${EXPECTED_FILES[*]}; $pe_format programs at version $version," \
     "as built, $(stat -c %s "$folder/ZORPA.exe") and $(stat -c %s "$folder/Zurozoz.exe") bytes"
