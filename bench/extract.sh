#!/usr/bin/env bash
# Extraction benchmark: our extraction pass against the peer NSIS installer,
# on the same payload, in the same run, under Wine; then the pass at three
# payload sizes, and the setups' start-up time.
#
#   bench/extract.sh      (env: RUNS=11, WS_RUNS=3, SCALE_RUNS=3, SCALE=1)
#
# Builds (scripts/build.sh), makes the payload with
# ../shared/bench/make_payload.py, a payload ten times larger (ten copies of
# it) and one of about 1.8 GB (26 copies and three files of 128 MiB), packs
# them with out/qrnpack, builds the peer from ../shared/bench/peer-nsis.nsi,
# and prints:
#   pairs     for each word size this machine runs, RUNS runs each, back to
#             back, alternating: ours = extract_bench.exe (the extraction
#             pass into a fresh folder), nsis = the peer (/S /D=<fresh
#             folder>), built for amd64-unicode against the x86_64 build and
#             for x86-unicode (NSIS's default) against the i686 build. Both
#             may use every core of the machine (the pass uses them; NSIS has
#             one thread). Ours pinned to one core is printed beside them.
#   memory    our peak working set, payload and ten-times payload
#   scale     time, MB/s and peak working set at the three sizes (SCALE=0
#             leaves it out)
#   start-up  time from starting each setup to its welcome window painted,
#             and the stubs' sizes
# Fair timing (../shared/bench/README.md): a prefix of its own with one warm
# wineserver, the target folder deleted and `sync` before each run, medians
# compared. Whole processes are timed, start-up included, for both.
# The last line reads
#   ours/nsis=<ratio> peak_ws_growth=<percent>%
# for the i686 pair where 32-bit code runs, otherwise for the x86_64 pair.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shared=${QRN_SHARED:-$root/../shared}  # the shared material beside the repository
runs=${RUNS:-11}
ws_runs=${WS_RUNS:-3}
scale_runs=${SCALE_RUNS:-3}
work=$root/build/bench
mkdir -p "$work"

log() { echo "extract-bench: $*" >&2; }

"$root/scripts/build.sh" >&2

# ---- the prefix, with its own warm server ----
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
"$server" -p
xvfb=
trap '"$server" -k 2>/dev/null || true; [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null || true' EXIT
# The start-up figures need a display: a virtual one where there is none.
if [[ -z ${DISPLAY:-} ]]; then
  export DISPLAY=:$((90 + RANDOM % 100))
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
fi
all_cpus=0-$(($(nproc) - 1))
can32=0
"$root/scripts/wine-run" --can-run-32 && can32=1

# ---- payloads and installers ----
# make_payload.py strips 32-bit PE files; it takes them from where Wine keeps
# the files a 32-bit system32 holds.
sys32=${SYS32:-/usr/lib/i386-linux-gnu/wine/i386-windows}
payload=$work/payload
payload10=$work/payload10
payloadXL=$work/payload-xl
if [[ ! -f $payload.manifest ]]; then
  log "making the payload"
  SYS32=$sys32 python3 "$shared/bench/make_payload.py" "$payload" >&2
fi
copies() {  # <folder> <count>: hard-linked copies of the payload
  local k
  for ((k = 0; k < $2; k++)); do
    mkdir -p "$1/main/Program/copy$k"
    cp -al "$payload/main/Program/." "$1/main/Program/copy$k/"
  done
}
if [[ ! -f $payload10/.done ]]; then
  log "making the ten-times payload"
  rm -rf "$payload10"
  copies "$payload10" 10
  touch "$payload10/.done"
fi
if ((${SCALE:-1})) && [[ ! -f $payloadXL/.done ]]; then
  log "making the 1.8 GB payload"
  rm -rf "$payloadXL"
  copies "$payloadXL" 26
  # A few large files: random (stored as it is), text-like and mixed.
  mkdir -p "$payloadXL/main/Program/large"
  python3 - "$payloadXL/main/Program/large" <<'PY'
import os, random, sys
out = sys.argv[1]
size = 128 << 20
rnd = random.Random(7)
with open(os.path.join(out, "random.bin"), "wb") as f:
    for _ in range(size >> 20):
        f.write(rnd.randbytes(1 << 20))
words = [bytes("%s%d " % ("word", i), "ascii") for i in range(5000)]
with open(os.path.join(out, "text.log"), "wb") as f:
    written = 0
    while written < size:
        line = b" ".join(rnd.choice(words) for _ in range(12)) + b"\r\n"
        chunk = line * 64
        f.write(chunk)
        written += len(chunk)
with open(os.path.join(out, "mixed.dat"), "wb") as f:
    for i in range(size >> 20):
        f.write(rnd.randbytes(1 << 19) + bytes([i % 251]) * (1 << 19))
PY
  touch "$payloadXL/.done"
fi
bin=$WINEPREFIX/drive_c/bench-bin
mkdir -p "$bin"
pack() {  # <payload folder> <setup name>
  if [[ ! -f $bin/$2 || $bin/$2 -ot $1 || $bin/$2 -ot $root/out/qrnpack || $bin/$2 -ot $root/out/installer-stub.exe ]]; then
    log "packing $2"
    "$root/out/qrnpack" pack "$root/out/installer-stub.exe" "$1" "$bin/$2" >&2
  fi
}
pack "$payload" setup.exe
pack "$payload10" setup10.exe
((${SCALE:-1})) && pack "$payloadXL" setup-xl.exe
peer() {  # <target> <file>
  if [[ ! -f $bin/$2 || $bin/$2 -ot $payload.manifest ]]; then
    log "building the NSIS peer ($1 stubs)"
    makensis -V2 -X"Target $1" -DPAYLOAD="$payload" -DOUTFILE="$bin/$2" "$shared/bench/peer-nsis.nsi" >&2
  fi
}
peer amd64-unicode peer-nsis.exe
((can32)) && peer x86-unicode peer-nsis-x86.exe
cp "$root/build/x86_64/bench/extract_bench.exe" "$bin/extract_bench.exe"
cp "$root/build/i686/bench/extract_bench.exe" "$bin/extract_bench32.exe"
cp "$root/build/x86_64/bench/startup_bench.exe" "$bin/startup_bench.exe"

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
run_ours() {  # <extract_bench> <setup> <cpus>
  local t0 t1
  fresh
  t0=$(now)
  taskset -c "$3" "$wine" "C:\\bench-bin\\$1" "C:\\bench-bin\\$2" 'C:\bench-out\ours' >"$work/ours.last"
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}
run_nsis() {  # <peer>
  local t0 t1
  fresh
  t0=$(now)
  taskset -c "$all_cpus" "$wine" "C:\\bench-bin\\$1" /S '/D=C:\bench-out\nsis'
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
value() { sed -n "s/.*$1=\\([0-9.]*\\).*/\\1/p"; }  # <key>: its number in the line on stdin
field() { value "$1" <"$work/ours.last"; }
mb() { echo "$1 / 1000000" | bc -l; }
mib() { echo "$1 / 1048576" | bc -l; }

# Both installers must install the payload's tree exactly.
check_tree() {
  local dir=$1
  (cd "$dir" && sha256sum --quiet -c <(sed -E 's/^([0-9a-f]{64}) +[0-9]+  (.*)$/\1  \2/' "$payload.manifest")) ||
    { log "$dir differs from the payload"; exit 1; }
  [[ $(find "$dir" -type f ! -name InstallInfo.db | wc -l) -eq $payload_files ]] ||
    { log "$dir holds other files than the payload"; exit 1; }
}

# One pair: prints its lines and leaves the ratio in $ratio.
race() {  # <label> <extract_bench> <peer> <peer label>
  local ours_times=() nsis_times=() one_times=() pass=() ws=() i
  log "warming up ($1)"
  run_ours "$2" setup.exe "$all_cpus" >/dev/null
  check_tree "$target/ours"
  run_nsis "$3" >/dev/null
  check_tree "$target/nsis"
  log "timing $runs runs each, alternating ($1)"
  for ((i = 0; i < runs; i++)); do
    ((i % 2 == 1)) && nsis_times+=("$(run_nsis "$3")")
    ours_times+=("$(run_ours "$2" setup.exe "$all_cpus")")
    pass+=("$(field pass_ms)") ws+=("$(field peak_ws)")
    ((i % 2 == 0)) && nsis_times+=("$(run_nsis "$3")")
    one_times+=("$(run_ours "$2" setup.exe 0)")
  done
  local ours_med nsis_med one_med pass_med ws_med
  ours_med=$(printf '%s\n' "${ours_times[@]}" | median)
  nsis_med=$(printf '%s\n' "${nsis_times[@]}" | median)
  one_med=$(printf '%s\n' "${one_times[@]}" | median)
  pass_med=$(printf '%s\n' "${pass[@]}" | median)
  ws_med=$(printf '%s\n' "${ws[@]}" | median)
  ratio=$(echo "$ours_med / $nsis_med" | bc -l)
  printf '%s: ours median %.3f s (pass alone %.1f ms, peak working set %.1f MiB); ours on one core %.3f s; nsis (%s) %.3f s; ours/nsis %.3f\n' \
    "$1" "$ours_med" "$pass_med" "$(mib "$ws_med")" "$one_med" "$4" "$nsis_med" "$ratio"
  printf '%s: installed ours %.1f MB/s, nsis %.1f MB/s (whole process, start-up included)\n' "$1" \
    "$(echo "$payload_bytes / $ours_med / 1000000" | bc -l)" "$(echo "$payload_bytes / $nsis_med / 1000000" | bc -l)"
}

# Median time and peak working set of our pass on one setup; in $scale_t and $scale_ws.
measure() {  # <extract_bench> <setup> <runs>
  local times=() wss=() i
  for ((i = 0; i < $3; i++)); do
    times+=("$(run_ours "$1" "$2" "$all_cpus")")
    wss+=("$(field peak_ws)")
  done
  scale_t=$(printf '%s\n' "${times[@]}" | median)
  scale_ws=$(printf '%s\n' "${wss[@]}" | median)
}

printf 'payload: %d files, %.1f MB; setup %.1f MB, NSIS peer %.1f MB; cores %s (%d)\n' "$payload_files" \
  "$(mb "$payload_bytes")" "$(mb "$(stat -c %s "$bin/setup.exe")")" "$(mb "$(stat -c %s "$bin/peer-nsis.exe")")" \
  "$all_cpus" "$(nproc)"
race "x86_64" extract_bench.exe peer-nsis.exe amd64-unicode
last_ratio=$ratio
if ((can32)); then
  race "i686" extract_bench32.exe peer-nsis-x86.exe x86-unicode
  last_ratio=$ratio
else
  echo "i686: unavailable here (this machine runs no 32-bit code)"
fi

log "peak working set with the ten-times payload ($ws_runs runs)"
main_bench=extract_bench.exe
((can32)) && main_bench=extract_bench32.exe
measure "$main_bench" setup.exe "$ws_runs"
ws=$scale_ws
measure "$main_bench" setup10.exe "$ws_runs"
ws10=$scale_ws
growth=$(echo "100 * ($ws10 - $ws) / $ws" | bc -l)
printf 'peak working set (%s): %.1f MiB (payload), %.1f MiB (ten-times payload), growth %.1f%%\n' \
  "${main_bench%.exe}" "$(mib "$ws")" "$(mib "$ws10")" "$growth"

if ((${SCALE:-1})); then
  log "scale table ($scale_runs runs each)"
  echo "scale (x86_64, all cores): payload | files | MB | median s | MB/s | s per GB | peak working set MiB"
  for s in setup.exe setup10.exe setup-xl.exe; do
    measure extract_bench.exe "$s" "$scale_runs"
    files=$(field files)
    bytes=$(field bytes)
    printf '  %-13s | %5d | %7.1f | %8.3f | %6.1f | %8.3f | %.1f\n' "$s" "$files" "$(mb "$bytes")" "$scale_t" \
      "$(echo "$bytes / $scale_t / 1000000" | bc -l)" "$(echo "$scale_t * 1000000000 / $bytes" | bc -l)" \
      "$(mib "$scale_ws")"
  done
  fresh
fi

log "start-up"
cp "$root/out/QuorrinSetup-x64.exe" "$bin/"
startup_line() {  # <label> <setup>
  local line
  if line=$(taskset -c "$all_cpus" "$wine" 'C:\bench-bin\startup_bench.exe' "$2" "$runs"); then
    printf 'start-up %s: to the window painted, median %s ms (min %s, max %s) over %s runs, window %s\n' "$1" \
      "$(value median_ms <<<"$line")" "$(value min_ms <<<"$line")" "$(value max_ms <<<"$line")" "$runs" \
      "$(sed -n 's/.*\(class=.*\)$/\1/p' <<<"$line")"
  else
    echo "start-up $1: no window (see above)"
  fi
}
# Wine's own floor: its About box program, a window of the system's.
startup_line "floor (Wine's winver.exe)" 'C:\windows\system32\winver.exe'
startup_line x86_64 'C:\bench-bin\QuorrinSetup-x64.exe'
if ((can32)); then
  cp "$root/out/QuorrinSetup.exe" "$bin/"
  startup_line i686 'C:\bench-bin\QuorrinSetup.exe'
else
  echo "start-up i686: unavailable here (this machine runs no 32-bit code)"
fi
printf 'stub: i686 %d bytes, x86_64 %d bytes\n' "$(stat -c %s "$root/out/installer-stub.exe")" \
  "$(stat -c %s "$root/build/x86_64/app/installer-stub.exe")"
fresh
printf 'ours/nsis=%.2f peak_ws_growth=%.1f%%\n' "$last_ratio" "$growth"
