#!/usr/bin/env bash
# One fuzz target's ctest entry: replays its regression inputs
# (tests/fuzz/regressions/<target>/), then fuzzes it for a few seconds from
# seeds the packer makes out of tests/tools/payload.
#
#   smoke.sh <fuzz-build-dir> <target> [<why the fuzzing build is missing>]
#
# Fails (never skips) when the fuzzing build is missing: scripts/setup-machine.sh
# installs clang and libFuzzer, and scripts/build.sh makes the build.
# QRN_FUZZ_SMOKE_SECONDS sets the fuzzing time (default 8).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
target=$2
unavailable=${3:-}
seconds=${QRN_FUZZ_SMOKE_SECONDS:-8}

if [[ -n $unavailable ]]; then
  echo "fuzz_$target: no fuzzing build: $unavailable; scripts/setup-machine.sh installs clang and libFuzzer" >&2
  exit 1
fi
fuzzer=$build/tests/fuzz/fuzz_$target
seeds=$build/tests/fuzz/fuzz_seeds
for program in "$fuzzer" "$seeds"; do
  if [[ ! -x $program ]]; then
    echo "fuzz_$target: $program is missing: scripts/build.sh makes the fuzzing build in $build" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/qrn-fuzz-$target.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$seeds" "$root/tests/tools/payload" "$work/seeds"
mkdir -p "$work/corpus" "$work/artifacts"

# The saved findings first: each must now run clean.
regressions=("$here/regressions/$target"/*)
if [[ -e ${regressions[0]} ]]; then
  echo "fuzz_$target: replaying ${#regressions[@]} regression inputs"
  if ! "$fuzzer" "${regressions[@]}" >"$work/replay.log" 2>&1; then
    tail -n 60 "$work/replay.log"
    echo "fuzz_$target: a regression input fails again" >&2
    exit 1
  fi
fi

log=$work/fuzz.log
status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" "$work/seeds/$target" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
echo "fuzz_$target: ${runs:-?} executions in about $seconds s"
if ((status != 0)); then
  tail -n 60 "$log"
  keep=$build/smoke-findings/$target
  mkdir -p "$keep"
  cp "$work/artifacts/"* "$keep/" 2>/dev/null || true
  echo "fuzz_$target: finding (exit $status); its input is kept in $keep" >&2
  exit 1
fi
