#!/usr/bin/env bash
# Makes the Wine test prefixes under $QRN_WINE_ROOT (default build/wine):
#   win64  a 64-bit prefix (a 32-bit program there sees IsWow64Process TRUE)
#   win32  a 32-bit prefix, only where this machine can run 32-bit code
#          (and QRN_PREFIXES is not win64)
# Each gets the Chinese font substitutes, unmanaged X11 windows, and no
# winemenubuilder; HOME points into the build folder (a folder of its own per
# prefix), so nothing leaks into the machine's home. A finished prefix carries a stamp and is kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine_root=${QRN_WINE_ROOT:-$root/build/wine}
stamp_version=5

make_prefix() {
  local name=$1 arch=$2 loader=$3
  local prefix=$wine_root/$name
  if [[ -f $prefix/.qrn-prefix ]] && [[ $(cat "$prefix/.qrn-prefix") == "$stamp_version" ]]; then
    return
  fi
  rm -rf "$prefix"
  echo "make-prefixes: creating $name"
  # A home of its own per prefix: Wine links the user's Desktop and
  # Documents to $HOME, and two prefixes sharing one would share the
  # shortcuts their tests write and remove.
  mkdir -p "$wine_root/home/$name"
  export WINEPREFIX=$prefix WINEARCH=$arch HOME=$wine_root/home/$name WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  "$loader" wineboot -i >/dev/null 2>&1
  # Written with LANG=zh_CN.UTF-8, or the font names reach the registry garbled.
  local fonts='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  "$loader" reg add "$fonts" /v "微软雅黑" /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
  "$loader" reg add "$fonts" /v "Microsoft YaHei" /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
  # Unmanaged windows: with the window manager's part every hide costs 2 s under Xvfb.
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  "$loader" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d "" /f >/dev/null 2>&1
  # A crash ends the program with Wine's crash line; no debugger is started
  # (winedbg --auto waits forever without a console), whoever starts it.
  "$loader" reg add 'HKCU\Software\Wine\DllOverrides' /v winedbg.exe /d "" /f >/dev/null 2>&1
  # Windows has the machine-wide Uninstall key in both registry views. Wine
  # makes it only when it sets up a view's programs, which for the 32-bit
  # view needs 32-bit code this machine may not run.
  for view in 'HKLM\Software\Microsoft' 'HKLM\Software\Wow6432Node\Microsoft'; do
    "$loader" reg add "$view\Windows\CurrentVersion\Uninstall" /f >/dev/null 2>&1
  done
  # Windows has SysWOW64\drivers beside SysWOW64; a new Wine prefix lacks
  # it, and a 32-bit program's driver files land there.
  if [[ $arch == win64 ]]; then mkdir -p "$prefix/drive_c/windows/syswow64/drivers"; fi
  # Service calls fail during the first seconds of a new prefix's server.
  /usr/lib/wine/wineserver -k || true
  /usr/lib/wine/wineserver -w || true
  echo "$stamp_version" >"$prefix/.qrn-prefix"
}

# QRN_PREFIXES=win64 makes the 64-bit prefix alone (the demo needs no other).
make_prefix win64 win64 /usr/lib/wine/wine64
if [[ ${QRN_PREFIXES:-} == win64 ]]; then
  exit 0
fi
if "$root/scripts/wine-run" --can-run-32; then
  make_prefix win32 win32 /usr/lib/wine/wine
else
  echo "make-prefixes: no win32 prefix: this machine cannot run 32-bit code"
fi
