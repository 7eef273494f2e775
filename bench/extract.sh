#!/usr/bin/env bash
# Extraction benchmark: our extraction pass against the peer NSIS installer,
# on the same payload, in the same run, under Wine.
#
#   bench/extract.sh            (env: RUNS=11, WS_RUNS=3)
#
# Builds (scripts/build.sh), makes the payload with
# ../shared/bench/make_payload.py and a payload ten times larger (ten copies
# of it), packs both with out/qrnpack, builds the peer from
# ../shared/bench/peer-nsis.nsi for amd64 (this machine runs only 64-bit
# Windows programs), and times, RUNS times each and back to back:
#   ours  extract_bench.exe (x86_64): the extraction pass into a fresh folder
#   nsis  the peer, /S /D=<fresh folder>
# Fair timing (../shared/bench/README.md): a prefix of its own with one warm
# wineserver, the server and every measured process on core 0, the target
# folder deleted and `sync` before each run, medians compared. Whole
# processes are timed, start-up included, for both.
# Prints both medians, their ratio, the installed MB/s, and our peak working
# set for the payload and the ten-times payload. The last line reads
#   ours/nsis=<ratio> peak_ws_growth=<percent>%
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${QRN_SHARED:-$root/../shared}  # the shared material beside the repository
runs=${RUNS:-11}
ws_runs=${WS_RUNS:-3}
work=$root/build/bench
mkdir -p "$work"

log() { echo "extract-bench: $*" >&2; }

"$root/scripts/build.sh" >&2

# ---- the prefix, with its own server pinned to core 0 ----
export WINEPREFIX=$work/wine
export HOME=$root/build/wine/home
export WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
mkdir -p "$HOME"
if [[ ! -f $WINEPREFIX/.qrn-bench-prefix ]]; then
  log "creating the benchmark prefix"
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  "$server" -w
  touch "$WINEPREFIX/.qrn-bench-prefix"
fi
"$server" -k 2>/dev/null || true
"$server" -w 2>/dev/null || true
taskset -c 0 "$server" -p
trap '"$server" -k 2>/dev/null || true' EXIT

# ---- payloads and installers ----
# make_payload.py strips 32-bit PE files; this machine has no 32-bit prefix,
# so it takes them from where Wine keeps the files a 32-bit system32 holds.
sys32=${SYS32:-/usr/lib/i386-linux-gnu/wine/i386-windows}
payload=$work/payload
payload10=$work/payload10
if [[ ! -f $payload.manifest ]]; then
  log "making the payload"
  SYS32=$sys32 python3 "$shared/bench/make_payload.py" "$payload" >&2
fi
if [[ ! -f $payload10/.done ]]; then
  log "making the ten-times payload"
  rm -rf "$payload10"
  for k in 0 1 2 3 4 5 6 7 8 9; do
    mkdir -p "$payload10/main/Program/copy$k"
    cp -al "$payload/main/Program/." "$payload10/main/Program/copy$k/"
  done
  touch "$payload10/.done"
fi
bin=$WINEPREFIX/drive_c/bench-bin
mkdir -p "$bin"
if [[ ! -f $bin/setup.exe || $bin/setup.exe -ot $payload.manifest || $bin/setup.exe -ot $root/out/qrnpack ]]; then
  log "packing"
  "$root/out/qrnpack" pack "$root/out/installer-stub.exe" "$payload" "$bin/setup.exe" >&2
  "$root/out/qrnpack" pack "$root/out/installer-stub.exe" "$payload10" "$bin/setup10.exe" >&2
fi
if [[ ! -f $bin/peer-nsis.exe || $bin/peer-nsis.exe -ot $payload.manifest ]]; then
  log "building the NSIS peer (amd64-unicode stubs)"
  makensis -V2 -X"Target amd64-unicode" -DPAYLOAD="$payload" -DOUTFILE="$bin/peer-nsis.exe" \
    "$shared/bench/peer-nsis.nsi" >&2
fi
cp "$root/build/x86_64/bench/extract_bench.exe" "$bin/"

target=$WINEPREFIX/drive_c/bench-out
payload_bytes=$(awk '{s += $2} END {print s}' "$payload.manifest")
payload_files=$(wc -l <"$payload.manifest")

now() { echo "${EPOCHREALTIME/,/.}"; }
fresh() {
  rm -rf "$target"
  sync
}
# Runs one installer; prints its wall time in seconds. Our program's own line
# goes to $work/ours.last.
run_ours() {
  local setup=$1 t0 t1
  fresh
  t0=$(now)
  taskset -c 0 "$wine" 'C:\bench-bin\extract_bench.exe' "C:\\bench-bin\\$setup" 'C:\bench-out\ours' >"$work/ours.last"
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}
run_nsis() {
  local t0 t1
  fresh
  t0=$(now)
  taskset -c 0 "$wine" 'C:\bench-bin\peer-nsis.exe' /S '/D=C:\bench-out\nsis'
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
field() { sed -n "s/.*$1=\\([0-9.]*\\).*/\\1/p" "$work/ours.last"; }

# Both installers must install the payload's tree exactly.
check_tree() {
  local dir=$1
  (cd "$dir" && sha256sum --quiet -c <(sed -E 's/^([0-9a-f]{64}) +[0-9]+  (.*)$/\1  \2/' "$payload.manifest")) ||
    { log "$dir differs from the payload"; exit 1; }
}

log "warming up"
run_ours setup.exe >/dev/null
check_tree "$target/ours"
run_nsis >/dev/null
check_tree "$target/nsis"
[[ $(find "$target/nsis" -type f | wc -l) -eq $payload_files ]] || { log "NSIS installed a different tree"; exit 1; }

log "timing $runs runs each, alternating"
ours_times=() nsis_times=() ours_ws=() ours_pass=()
for ((i = 0; i < runs; i++)); do
  if ((i % 2 == 0)); then
    ours_times+=("$(run_ours setup.exe)")
    ours_ws+=("$(field peak_ws)") ours_pass+=("$(field pass_ms)")
    nsis_times+=("$(run_nsis)")
  else
    nsis_times+=("$(run_nsis)")
    ours_times+=("$(run_ours setup.exe)")
    ours_ws+=("$(field peak_ws)") ours_pass+=("$(field pass_ms)")
  fi
done
nsis_rss_kb=$( { fresh; /usr/bin/time -f %M taskset -c 0 "$wine" 'C:\bench-bin\peer-nsis.exe' /S '/D=C:\bench-out\nsis'; } 2>&1 | tail -n 1)

log "peak working set with the ten-times payload ($ws_runs runs)"
ours_ws10=() ours_times10=()
for ((i = 0; i < ws_runs; i++)); do
  ours_times10+=("$(run_ours setup10.exe)")
  ours_ws10+=("$(field peak_ws)")
done
fresh

ours_med=$(printf '%s\n' "${ours_times[@]}" | median)
nsis_med=$(printf '%s\n' "${nsis_times[@]}" | median)
pass_med=$(printf '%s\n' "${ours_pass[@]}" | median)
ws=$(printf '%s\n' "${ours_ws[@]}" | median)
ws10=$(printf '%s\n' "${ours_ws10[@]}" | median)
time10=$(printf '%s\n' "${ours_times10[@]}" | median)
ratio=$(echo "$ours_med / $nsis_med" | bc -l)
growth=$(echo "100 * ($ws10 - $ws) / $ws" | bc -l)

printf 'payload: %d files, %.1f MB; setup %.1f MB, NSIS peer %.1f MB\n' "$payload_files" \
  "$(echo "$payload_bytes / 1000000" | bc -l)" "$(echo "$(stat -c %s "$bin/setup.exe") / 1000000" | bc -l)" \
  "$(echo "$(stat -c %s "$bin/peer-nsis.exe") / 1000000" | bc -l)"
printf 'ours (extraction pass, x86_64): median %.3f s over %d runs (pass alone %.1f ms)\n' "$ours_med" "$runs" "$pass_med"
printf 'nsis (peer, amd64-unicode):     median %.3f s over %d runs\n' "$nsis_med" "$runs"
printf 'ratio ours/nsis: %.3f\n' "$ratio"
printf 'installed: ours %.1f MB/s, nsis %.1f MB/s (whole process, start-up included)\n' \
  "$(echo "$payload_bytes / $ours_med / 1000000" | bc -l)" "$(echo "$payload_bytes / $nsis_med / 1000000" | bc -l)"
printf 'peak working set, ours: %.1f MiB (payload), %.1f MiB (ten-times payload, %.1f s); nsis max RSS %.1f MiB\n' \
  "$(echo "$ws / 1048576" | bc -l)" "$(echo "$ws10 / 1048576" | bc -l)" "$time10" "$(echo "$nsis_rss_kb / 1024" | bc -l)"
printf 'ours/nsis=%.2f peak_ws_growth=%.1f%%\n' "$ratio" "$growth"
