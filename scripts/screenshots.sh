#!/usr/bin/env bash
# Photographs the installer window from a real run under Xvfb and writes the
# pictures to docs/screenshots/: welcome (collapsed and expanded), installing,
# finished, and the boxes of each refused path. The setup is the installer's
# window code with the stand-in install thread (standins/), packed with
# out/qrnpack from the stand-in product (build/product/payload-x64, laid out
# by scripts/build.sh); the driver is out/ui-driver.exe.
# Run after scripts/build.sh, as root (the "too little space" box needs a
# small mounted drive; see tests/app/with-test-drives.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$root/docs/screenshots
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

"$root/scripts/make-prefixes.sh" >/dev/null
if [[ -z ${DISPLAY:-} ]]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  sleep 1
fi

"$root/out/qrnpack" pack "$root/build/x86_64/standins/window-test-setup.exe" "$root/build/product/payload-x64" "$work/QuorrinSetup.exe" >/dev/null
setup="Z:${work//\//\\}\\QuorrinSetup.exe"
shots="Z:${work//\//\\}"

cat >"$work/shots.txt" <<SCRIPT
# Welcome, collapsed and expanded.
start $setup
window Quorrin
mouse-away
sleep 300
shot $shots\\welcome.bmp
click 1009
expect-size 550 410
sleep 300
shot $shots\\welcome-expanded.bmp
# The three refusals.
settext 1000 abc
click 1006
expect-box 您选择的路径无法安装Quorrin，请重新选择
shot-box $shots\\box-invalid-path.bmp
press ok
shot $shots\\welcome-invalid-path.bmp
settext 1000 C:\\windows\\win.ini\\sub
click 1006
expect-box 您选择的路径无法安装Quorrin，请重新选择
shot-box $shots\\box-cannot-create.bmp
press ok
settext 1000 %QRN_SMALL_DRIVE%\\Quorrin
click 1006
expect-box 您选择的路径所在磁盘空间不足，请重新选择
shot-box $shots\\box-no-space.bmp
press ok
# Asked before closing.
click 1003
box
shot-box $shots\\box-quit.bmp
press cancel
# Installing: the stand-in thread stops at 45% with a file name on the status line.
settext 1000 %TEMP%\\qrn-screenshots
click 1006
expect-size 550 275
sleep 4500
shot $shots\\installing.bmp
kill
# Finished.
env QRN_STANDIN_PLAN p100
start $setup
window Quorrin
mouse-away
settext 1000 %TEMP%\\qrn-screenshots
click 1006
expect-size 550 320 20000
sleep 300
shot $shots\\finished.bmp
kill
SCRIPT

export QRN_STANDIN_PLAN="s正在解压文件：说明.txt;p45;h"
"$root/tests/app/with-test-drives.sh" "$root/scripts/wine-run" win64 "$root/out/ui-driver.exe" "Z:${work//\//\\}\\shots.txt"

mkdir -p "$out"
for bmp in "$work"/*.bmp; do
  convert "$bmp" "$out/$(basename "${bmp%.bmp}").png"
done
ls -1 "$out"
