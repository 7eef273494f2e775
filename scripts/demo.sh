#!/usr/bin/env bash
# The demo: builds everything, packs the setups from the stand-in product,
# and installs Quorrin into a Wine prefix of its own (build/wine/demo, made
# afresh on every run, so the demo can be run again and never touches the
# test prefixes), with the local report server listening on 127.0.0.1:18631.
#
# With a usable $DISPLAY (and QRN_DEMO_HEADLESS unset) the setup opens in a
# window and you click through it. Otherwise it runs under an Xvfb of its own,
# driven by out/ui-driver.exe through a whole installation (welcome, custom
# install area, start, installing, finished, finish), with a screenshot of
# each state in out/demo/. Then it prints what was installed
# (out/install-summary.exe), the report the server stored, and which product
# programs the installer started.
#
# Exit code 0 only when the installation finished.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# QRN_DEMO_NO_BUILD=1: the build is there already (the 32-bit lane's guest
# runs the demo with what the host built).
[[ ${QRN_DEMO_NO_BUILD:-} == 1 ]] || "$root/scripts/build.sh"

demo_root=${QRN_DEMO_ROOT:-$root/build/wine/demo}
shots=$root/out/demo
port=18631
wine_prefix=$demo_root/win64
export QRN_WINE_ROOT=$demo_root

pids=()
stop_wine() { WINEPREFIX=$wine_prefix HOME=$demo_root/home/win64 /usr/lib/wine/wineserver -k 2>/dev/null || true; }
visible=0
cleanup() {
  # In a window the product the finish button started stays open for you;
  # the next demo run ends it with the old prefix.
  [[ $visible == 1 ]] || stop_wine
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

winpath() { echo "Z:${1//\//\\}"; }

# A fresh prefix: whatever an earlier demo installed goes with the old one.
echo
echo "demo: a fresh Wine prefix in $demo_root"
[[ -d $wine_prefix ]] && stop_wine
rm -rf "$demo_root" "$shots"
mkdir -p "$demo_root" "$shots"
QRN_PREFIXES=win64 "$root/scripts/make-prefixes.sh"
# Windows keeps a per-user Uninstall key, where the installer leaves its
# per-user marker (it does not create the parent); a new Wine prefix lacks it.
WINEPREFIX=$wine_prefix HOME=$demo_root/home/win64 WINEDEBUG=-all /usr/lib/wine/wine64 reg add \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /f >/dev/null 2>&1

# The setup that runs here: the 32-bit one where 32-bit code runs, else the
# x86_64 build that stands in for it (same payload layout, 64-bit programs).
if "$root/scripts/wine-run" --can-run-32; then
  setup=$root/out/QuorrinSetup.exe
else
  setup=$root/out/QuorrinSetup-x64.exe
  echo "demo: this machine runs no 32-bit code; installing with out/QuorrinSetup-x64.exe (the installer's x86_64 build)"
fi

# Wine, unlike Windows, loads a driver service that a 32-bit program created
# with its 32-bit driver host, from SysWOW64\drivers; Windows loads the x64
# driver the setup wrote to the native drivers folder. So that the drivers
# the 32-bit setup registers load here, the 32-bit stand-in drivers wait
# there under the x64 names (what the demo shows of Windows, not what the
# setup does).
if [[ $setup == "$root/out/QuorrinSetup.exe" ]]; then
  wow64_drivers=$wine_prefix/drive_c/windows/syswow64/drivers
  mkdir -p "$wow64_drivers"
  cp "$root/build/product/payload-win32/sys/32/Velmdisk2.sys" "$wow64_drivers/Velmdisk2-x64.sys"
  cp "$root/build/product/payload-win32/sys/32/Velmdisk.sys" "$wow64_drivers/Velmdisk-x64.sys"
fi

echo "demo: report server on 127.0.0.1:$port"
# The installer reports to this fixed port; another run's server (a test run
# on the same machine) may hold it for a while.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
for i in $(seq 120); do
  listening || break
  ((i == 1)) && echo "demo: port $port is in use; waiting up to 2 minutes for it"
  sleep 1
done
"$root/out/report-server" --port "$port" --db "$demo_root/reports.sqlite3" >"$demo_root/report-server.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  grep -q '^listening' "$demo_root/report-server.log" 2>/dev/null && break
  if ! kill -0 "${pids[-1]}" 2>/dev/null; then break; fi
  sleep 0.2
done
if ! grep -q '^listening' "$demo_root/report-server.log"; then
  echo "demo: the report server did not start (is port $port in use?):" >&2
  cat "$demo_root/report-server.log" >&2
  exit 1
fi

# Test hook of the stand-in product: each product program notes its start here.
record=$demo_root/product-record.txt
export QRN_PRODUCT_RECORD
QRN_PRODUCT_RECORD=$(winpath "$record")

if [[ -n ${DISPLAY:-} && -z ${QRN_DEMO_HEADLESS:-} ]] && timeout 10 xdpyinfo >/dev/null 2>&1; then visible=1; fi
if [[ $visible == 0 ]]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  sleep 1
fi

# A warm server, and the prefix's own services started once, alone.
WINEPREFIX=$wine_prefix HOME=$demo_root/home/win64 /usr/lib/wine/wineserver -p || true  # one may run already
WINEPREFIX=$wine_prefix HOME=$demo_root/home/win64 WINEDEBUG=-all timeout 120 /usr/lib/wine/wine64 cmd.exe /c exit 0 || true

installed=0
if [[ $visible == 1 ]]; then
  echo "demo: the setup opens on $DISPLAY; click through the installation"
  "$root/scripts/wine-run" win64 "$setup" || true
  # Whether it finished is read back from the machine by the summary.
else
  echo "demo: installing under Xvfb ($DISPLAY), driven by out/ui-driver.exe"
  script=$demo_root/demo-install.txt
  s=$(winpath "$shots")
  cat >"$script" <<SCRIPT
start $(winpath "$setup")
window Quorrin 60000
mouse-away
sleep 500
# Welcome: the licence is accepted by default.
expect checked 1001
shot $s\\1-welcome.bmp
# The custom-install area shows the proposed folder.
click 1009
expect-size 550 410
sleep 300
shot $s\\2-welcome-custom.bmp
print 1000
click 1006
expect-size 550 275 15000
sleep 1500
shot $s\\3-installing.bmp
expect-size 550 320 300000
sleep 300
shot $s\\4-finished.bmp
# Finish: starts the product and closes the window.
click 1007
wait-exit 30000
SCRIPT
  if "$root/scripts/wine-run" win64 "$root/out/ui-driver.exe" "$(winpath "$script")"; then
    installed=1
    # The product window the finish button opened.
    sleep 3
    if import -display "$DISPLAY" -window root "$shots/5-product.png" 2>/dev/null; then
      convert "$shots/5-product.png" -trim +repage "$shots/5-product.png" || true
    fi
  else
    echo "demo: the installation did not finish through the window" >&2
  fi
  for bmp in "$shots"/*.bmp; do
    [[ -e $bmp ]] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi

echo
summary_rc=0
"$root/scripts/wine-run" win64 "$root/out/install-summary.exe" || summary_rc=$?
[[ $visible == 1 && $summary_rc == 0 ]] && installed=1

echo
echo "== Install reports stored by the report server (GET /control/reports)"
reports=$(python3 -c 'import sys, urllib.request
print(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode("utf-8", "replace"), end="")' \
  "http://127.0.0.1:$port/control/reports" 2>/dev/null || true)
if [[ -n $reports ]]; then echo "$reports" | sed 's/^/  /'; else echo "  none"; fi

echo
echo "== Product programs started (stand-in product's start record)"
if [[ -s $record ]]; then sed 's/^/  /' "$record"; else echo "  none"; fi

if [[ $visible == 0 ]]; then
  echo
  echo "== Screenshots in out/demo/"
  ls -1 "$shots" | sed 's/^/  /'
fi
echo
if [[ $installed == 1 ]]; then
  echo "demo: the installation finished"
  exit 0
fi
echo "demo: the installation did not finish" >&2
exit 1
