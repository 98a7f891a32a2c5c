#!/usr/bin/env bash
# Fails unless the program imports only functions listed in its architecture's allow-list
# (tests/imports/allowed-x86.txt or allowed-x64.txt, each line `dll!function  minimum Windows`
# as Microsoft documents it), and unless its PE header lets the oldest supported Windows load
# it: 5.1 (XP) for x86, 5.2 (XP x64, Server 2003) for x64. A new import fails here until
# someone has checked its minimum Windows version and listed it.
#   check-imports.sh OBJDUMP PROGRAM
set -euo pipefail
usage='usage: check-imports.sh OBJDUMP PROGRAM'
objdump=${1:?$usage}
program=${2:?$usage}
lists=$(cd "$(dirname "$0")/../imports" && pwd)

headers=$("$objdump" -p "$program")
format=$("$objdump" -f "$program" | sed -n 's/.*file format //p')
case $format in
  pei-i386) arch=x86 version=5.1 ;;
  pei-x86-64) arch=x64 version=5.2 ;;
  *) echo "$program: not a Windows program ($format)" >&2; exit 1 ;;
esac
allow_list=$lists/allowed-$arch.txt

# Each import as dll!function (dll!#ordinal when imported by number), DLL names in lower case.
imports=$(awk '
  /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+/ { print dll "!" ($3 == "" || $3 == "<none>" ? "#" $2 : $3) }
  /^$/ { dll = "" }' <<<"$headers" | sort -u)
if ! grep -q '^kernel32\.dll!' <<<"$imports"; then
  echo "no import table found in $program" >&2
  exit 1
fi

failures=0
unversioned=$(grep -Ev '^(#|$)' "$allow_list" | awk 'NF < 2' || true)
if [ -n "$unversioned" ]; then
  echo "FAIL: $allow_list lists imports without a minimum Windows version:" $unversioned >&2
  failures=$((failures + 1))
fi
allowed=$(grep -Ev '^(#|$)' "$allow_list" | awk '{ print $1 }' | sort -u)
unlisted=$(comm -23 <(echo "$imports") <(echo "$allowed"))
if [ -n "$unlisted" ]; then
  echo "FAIL: $program imports functions that $allow_list does not list; check each one's" \
       "minimum Windows version in Microsoft's documentation before listing it:" >&2
  echo "$unlisted" >&2
  failures=$((failures + 1))
fi

field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$headers"; }
for kind in OSystem Subsystem; do
  found=$(field "Major${kind}Version").$(field "Minor${kind}Version")
  [ "$found" = "$version" ] ||
    { echo "FAIL: $program's ${kind} version is $found, not $version" >&2; failures=$((failures + 1)); }
done

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$program"): $(wc -l <<<"$imports") imports, all in $(basename "$allow_list");" \
     "OS and subsystem version $version"
