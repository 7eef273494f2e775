#!/usr/bin/env bash
# A Windows program that crashes must end its test at once, with the crash
# line in the output, instead of waiting for a debugger that never comes
# (Wine starts winedbg for an unhandled exception unless told otherwise).
#   crash_ends_fast.sh <wine-run> <prefix> <crash_probe.exe>
set -u
start=$SECONDS
out=$(timeout 120 "$@" 2>&1)
rc=$?
took=$((SECONDS - start))
printf '%s\n' "$out"
if [[ $rc == 77 ]]; then exit 77; fi
if [[ $rc == 124 ]]; then
  echo "FAILED: the crashing program still ran after 120 s (waiting for a debugger?)"
  exit 1
fi
if [[ $rc == 0 ]]; then
  echo "FAILED: the probe did not crash"
  exit 1
fi
if ! grep -q "Unhandled" <<<"$out"; then
  echo "FAILED: no crash line in the output (exit code $rc)"
  exit 1
fi
echo "ok: the crash ended the program in ${took} s with exit code $rc"
