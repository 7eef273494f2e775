#!/usr/bin/env bash
# The 32-bit lane: runs the 32-bit Windows tests (ctest's x32 entries) on
# any machine, by one command.
#
#   scripts/x32-lane.sh [--demo|--smoke] [ctest args...]
#
# Where this machine runs 32-bit code, the entries run here (the lane says
# "native"). Where its kernel runs no 32-bit code, they run in a Debian guest
# under full-system emulation (qemu-system-x86_64, TCG): the guest is made
# once from Debian's packages (scripts/x32-lane/make-image.sh, kept under
# build/x32-lane/), the host builds, and the guest sees this checkout at the
# same path and runs ctest there (the lane says "emulated").
# QRN_X32_LANE=emulated takes the emulated lane even where 32-bit code runs.
# --demo also runs the demo with the 32-bit setup (headless), after the tests.
# --smoke runs full_install_test and uninstaller_test in both prefixes, then
# the demo (what .ci/run runs where 32-bit code does not run).
# QRN_X32_LANE_TIMEOUT (seconds, default 5400) bounds the whole guest run: a
# hung or crashed guest ends the lane with a message and exit code 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

demo=0
# ctest takes one -R: a -R of the caller narrows the x32 entries.
filter='x32:'
case ${1:-} in
  --demo)
    demo=1
    shift
    ;;
  --smoke)
    # What CI runs: the 32-bit setup through its window to the product, the
    # uninstaller, and the demo with the 32-bit setup.
    demo=1
    filter='x32:.*(full_install_test|uninstaller_test)'
    shift
    ;;
esac
args=()
while (($#)); do
  case $1 in
    -R)
      [[ $# -ge 2 ]] || { echo "x32-lane: -R needs a pattern" >&2; exit 2; }
      filter="x32:.*($2)"
      shift 2
      ;;
    -R?*)
      filter="x32:.*(${1#-R})"
      shift
      ;;
    *)
      args+=("$1")
      shift
      ;;
  esac
done
set -- ${args[@]+"${args[@]}"}

mode=native
if [[ ${QRN_X32_LANE:-} == emulated ]] || ! "$root/scripts/wine-run" --can-run-32; then mode=emulated; fi
echo "x32-lane: $mode"

# The 32-bit test programs are built on the host in either case.
QRN_BUILD_I686_TESTS=1 "$root/scripts/build.sh"

if [[ $mode == native ]]; then
  status=0
  "$root/scripts/test.sh" -R "$filter" "$@" || status=$?
  if ((demo)) && ((status == 0)); then QRN_DEMO_HEADLESS=1 QRN_DEMO_NO_BUILD=1 "$root/scripts/demo.sh" || status=$?; fi
  exit $status
fi

"$root/scripts/x32-lane/make-image.sh"
lane=$root/build/x32-lane
job=$lane/job
exec 9>"$lane/lock"
flock -n 9 || { echo "x32-lane: another lane runs on this checkout" >&2; exit 1; }
rm -rf "$job"
mkdir -p "$job"

# The job the guest runs, from the checkout's root. Prefixes and the demo's
# prefix live on the guest's own disk (kept between runs), not on the share.
{
  echo 'export HOME=/root LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 QRN_WINE_ROOT=/var/qrn-wine QRN_DEMO_ROOT=/var/qrn-demo'
  echo 'Xvfb :9 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &'
  echo 'export DISPLAY=:9'
  echo 'start=$(cut -d" " -f1 /proc/uptime)'
  echo 'scripts/make-prefixes.sh'
  echo 'for p in win32 win64; do'
  echo '  WINEPREFIX=$QRN_WINE_ROOT/$p HOME=$QRN_WINE_ROOT/home/$p /usr/lib/wine/wineserver -p'
  echo '  loader=/usr/lib/wine/wine64; [ $p = win32 ] && loader=/usr/lib/wine/wine'
  echo '  WINEPREFIX=$QRN_WINE_ROOT/$p HOME=$QRN_WINE_ROOT/home/$p WINEDEBUG=-all timeout 300 $loader cmd.exe /c exit 0'
  echo 'done'
  echo 'echo "x32-lane: prefixes ready in $(awk -v a=$start "{print int(\$1-a)}" /proc/uptime) s"'
  echo 'start=$(cut -d" " -f1 /proc/uptime)'
  printf 'ctest --test-dir build/native --output-on-failure -j2 -R %q' "$filter"
  if (($#)); then printf ' %q' "$@"; fi
  echo
  echo 'status=$?'
  echo 'echo "x32-lane: tests took $(awk -v a=$start "{print int(\$1-a)}" /proc/uptime) s"'
  if ((demo)); then
    echo 'start=$(cut -d" " -f1 /proc/uptime)'
    echo 'QRN_DEMO_HEADLESS=1 QRN_DEMO_NO_BUILD=1 scripts/demo.sh || status=$?'
    echo 'echo "x32-lane: demo took $(awk -v a=$start "{print int(\$1-a)}" /proc/uptime) s"'
  fi
  echo 'exit $status'
} >"$job/cmd"
: >"$job/out"

limit=${QRN_X32_LANE_TIMEOUT:-5400}
qemu_pid=
tail_pid=
cleanup() {
  [[ -n $qemu_pid ]] && kill "$qemu_pid" 2>/dev/null || true
  [[ -n $tail_pid ]] && kill "$tail_pid" 2>/dev/null || true
}
trap cleanup EXIT
tail -n +1 -f "$job/out" &
tail_pid=$!
started=$SECONDS
# A named processor model with the AES instructions: with -cpu max the guest
# kernel faults on Wine's 32-bit iret under TCG.
timeout --kill-after=10 "$limit" qemu-system-x86_64 -accel tcg,thread=multi -smp 2 -m 4096 -cpu Westmere \
  -nographic -no-reboot -kernel "$lane/vmlinuz" -initrd "$lane/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet init=/qrn-guest-init qrn.repo=$root" \
  -drive "file=$lane/image.ext4,format=raw,if=virtio" \
  -virtfs "local,path=$root,mount_tag=repo,security_model=none,id=repo" >"$job/console.log" 2>&1 &
qemu_pid=$!
qemu_status=0
wait "$qemu_pid" || qemu_status=$?
qemu_pid=
sleep 1
kill "$tail_pid" 2>/dev/null || true
tail_pid=
if ((qemu_status == 124 || qemu_status == 137)); then
  echo "x32-lane: the guest did not finish within $limit s; stopped (console: $job/console.log)" >&2
  exit 1
fi
if [[ ! -s $job/rc ]]; then
  echo "x32-lane: the guest ended without a result after $((SECONDS - started)) s (qemu exit $qemu_status); console:" >&2
  tail -n 30 "$job/console.log" >&2
  exit 1
fi
echo "x32-lane: guest run took $((SECONDS - started)) s"
exit "$(cat "$job/rc")"
