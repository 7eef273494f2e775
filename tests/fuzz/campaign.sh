#!/usr/bin/env bash
# The long fuzzing campaign: each target in turn (never two at once), N
# executions each, at the lowest priority, from its kept corpus plus fresh
# seeds. Prints the executions, time and outcome per target; exits 1 when
# any target found something.
#
#   tests/fuzz/campaign.sh [-n <executions>] [<target>...]
#
# Default: 1000000 executions of every target. Needs the fuzzing build
# (scripts/build.sh makes build/fuzz); it is brought up to date first.
# Kept in build/fuzz/campaign/: corpus/<target>/ (grows from run to run),
# findings/<target>/ (crashing inputs), <target>.log.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${QRN_FUZZ_BUILD:-$root/build/fuzz}
runs=1000000
if [[ ${1:-} == -n ]]; then
  runs=$2
  shift 2
fi
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(archive_locate archive_index entry_decoder archive_routing report_answer record_lines)
fi

if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "campaign: no fuzzing build in $build; scripts/build.sh makes it" >&2
  exit 1
fi
nice -n 19 cmake --build "$build" >/dev/null

out=$build/campaign
mkdir -p "$out"
rm -rf "$out/seeds"
"$build/tests/fuzz/fuzz_seeds" "$root/tests/tools/payload" "$out/seeds"

failed=0
summary=()
for target in "${targets[@]}"; do
  fuzzer=$build/tests/fuzz/fuzz_$target
  if [[ ! -x $fuzzer ]]; then
    echo "campaign: no target $target" >&2
    exit 2
  fi
  mkdir -p "$out/corpus/$target" "$out/findings/$target"
  log=$out/$target.log
  echo "campaign: $target, $runs executions"
  start=$(date +%s)
  status=0
  nice -n 19 "$fuzzer" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -use_value_profile=1 -print_final_stats=1 \
    -artifact_prefix="$out/findings/$target/" "$out/corpus/$target" "$out/seeds/$target" >"$log" 2>&1 || status=$?
  seconds=$(($(date +%s) - start))
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  done_runs=${done_runs:-0}
  if ((status == 0)); then
    outcome="no finding"
  else
    failed=1
    outcome="FINDING (exit $status): $(ls -t "$out/findings/$target" | head -n 1)"
    grep -m 3 -E 'ERROR: |fuzz check failed|runtime error' "$log" || true
  fi
  rate=$((done_runs / (seconds > 0 ? seconds : 1)))
  summary+=("$(printf '%-16s %12s executions %7s s %8s/s  %s' "$target" "$done_runs" "$seconds" "$rate" "$outcome")")
done

echo
echo "campaign summary ($runs executions asked per target):"
printf '%s\n' "${summary[@]}"
exit $failed
