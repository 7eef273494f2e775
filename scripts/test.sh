#!/usr/bin/env bash
# Sets the machine up, builds, makes the Wine prefixes and runs every test:
# native tests directly, Windows tests under Wine (Xvfb for windows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/build.sh"
"$root/scripts/make-prefixes.sh"

wine_root=${QRN_WINE_ROOT:-$root/build/wine}
pids=()
cleanup() {
  for p in win32 win64; do
    [[ -d $wine_root/$p ]] && WINEPREFIX=$wine_root/$p HOME=$wine_root/home/$p /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

if [[ -z ${DISPLAY:-} ]]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
fi
# One warm server per prefix for the whole run.
for p in win32 win64; do
  if [[ -d $wine_root/$p ]]; then
    WINEPREFIX=$wine_root/$p HOME=$wine_root/home/$p /usr/lib/wine/wineserver -p || true  # one may run already
    # Start the prefix's own services once, alone: two programs that both find
    # them missing and start them at the same moment can hang each other.
    loader=/usr/lib/wine/wine64
    [[ $p == win32 ]] && loader=/usr/lib/wine/wine
    WINEPREFIX=$wine_root/$p HOME=$wine_root/home/$p WINEDEBUG=-all timeout 120 "$loader" cmd.exe /c exit 0 || true
  fi
done

ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)" "$@"
