#!/usr/bin/env bash
# The installer imports at load time only kernel32 and msvcrt, so that
# nothing it or its imports load escapes the DLL-search restriction it sets
# first (app/DllSearch.h). Everything else must be delay-loaded.
#   import_table_test.sh <program.exe>...
set -u
allowed="kernel32.dll msvcrt.dll"
failures=0
for exe in "$@"; do
  if [[ ! -f $exe ]]; then
    echo "FAILED: $exe is missing"
    failures=$((failures + 1))
    continue
  fi
  names=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }' | sort -u | tr '\n' ' ')
  bad=""
  for n in $names; do
    [[ " $allowed " == *" $n "* ]] || bad+="$n "
  done
  if [[ -z $names ]]; then
    echo "FAILED: $exe: no import table read"
    failures=$((failures + 1))
  elif [[ -n $bad ]]; then
    echo "FAILED: $exe imports at load time: $bad"
    failures=$((failures + 1))
  else
    echo "ok: $exe imports $names"
  fi
done
echo "$((($# - failures))) passed, $failures failed"
[[ $failures == 0 ]]
