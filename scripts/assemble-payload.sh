#!/usr/bin/env bash
# Lays the stand-in product out as the installer's payload: a folder whose
# first-level folders are the folder tags, made from the build outputs
# (nothing of it is kept in the repository).
#
#   assemble-payload.sh win32|x64 <payload-dir>
#
# win32: the 32-bit product (out/QuorrinSetup.exe): the programs in
#        main\Program from the i686 build.
# x64:   the same layout with the programs in main\Program from the x86_64
#        build, for the setup that stands in for the 32-bit one where only
#        64-bit code runs (out/QuorrinSetup-x64.exe).
# Both carry: en32 (32-bit shell extensions), ch64 (64-bit shell extensions),
# sys\32 and sys\64 (drivers), main\System32 (a library of ours for the
# 32-bit system folder), a runtime-library name (main\System32\mfc42.dll,
# extracted but not recorded) and a user-data name (UserList.db, recorded, never written).
#
# main\Program\Uninstall.exe is the `uninstaller` target's output. Until that
# target is built, QRN_PLACEHOLDER_UNINSTALLER=1 puts a stand-in program under
# that name instead (for trying the layout only: it uninstalls nothing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-}
dest=${2:-}
if [[ $kind != win32 && $kind != x64 ]] || [[ -z $dest ]]; then
  echo "usage: assemble-payload.sh win32|x64 <payload-dir>" >&2
  exit 2
fi
b32=$root/build/i686
b64=$root/build/x86_64
programs=$b32
[[ $kind == x64 ]] && programs=$b64

missing=0
need() {  # need <file>...
  for f in "$@"; do
    if [[ ! -f $f ]]; then
      echo "assemble-payload: missing build output $f" >&2
      missing=1
    fi
  done
}
uninstaller=$programs/uninstaller/Uninstall.exe
if [[ ! -f $uninstaller ]]; then
  if [[ ${QRN_PLACEHOLDER_UNINSTALLER:-} == 1 ]]; then
    echo "assemble-payload: WARNING: $uninstaller is not built; a placeholder (QRNService.exe, which uninstalls nothing) goes into main\\Program\\Uninstall.exe" >&2
    uninstaller=$programs/standins-bin/product/QRNService.exe  # ends by itself after a second
  else
    echo "assemble-payload: the uninstaller is not built: $uninstaller is missing (target \`uninstaller\`)." >&2
    echo "assemble-payload: set QRN_PLACEHOLDER_UNINSTALLER=1 to pack a placeholder instead (it uninstalls nothing)." >&2
    exit 1
  fi
fi

product=$programs/standins-bin/product
src=$root/standins/product/files
need "$uninstaller" "$programs/standins-bin/product/QRNProtectService.exe"
for exe in QRN QRNService QRNLocalEncrypt QRNIndependentEncrypt SecureDel; do need "$product/$exe.exe"; done
need "$b32/standins-bin/product/system32/mfc42.dll" "$product/QRN.ico" "$product/help/QRN_help.html" "$b32/standins-bin/product/system32/QRNHelper.dll"
need "$b32/standins-bin/QRNShellExt.dll" "$b32/standins-bin/QRNDragDrop.dll"
need "$b64/standins-bin/QRNShellExt-x64.dll" "$b64/standins-bin/QRNDragDrop-x64.dll"
need "$b32/standins-bin/drivers/Velmdisk2.sys" "$b32/standins-bin/drivers/Velmdisk.sys"
need "$b64/standins-bin/drivers/Velmdisk2-x64.sys" "$b64/standins-bin/drivers/Velmdisk-x64.sys"
if [[ $missing != 0 ]]; then
  echo "assemble-payload: build first (scripts/build.sh)" >&2
  exit 1
fi

# A fresh tree every time: nothing of an earlier layout may stay behind.
rm -rf "$dest"
mkdir -p "$dest/main/Program/help" "$dest/main/System32" "$dest/en32/Program" "$dest/ch64/Program" \
  "$dest/sys/32" "$dest/sys/64"
for exe in QRN QRNService QRNLocalEncrypt QRNIndependentEncrypt SecureDel; do
  cp "$product/$exe.exe" "$dest/main/Program/"
done
cp "$programs/standins-bin/product/QRNProtectService.exe" "$dest/main/Program/"
cp "$uninstaller" "$dest/main/Program/Uninstall.exe"
cp "$product/QRN.ico" "$dest/main/Program/"
cp "$product/help/QRN_help.html" "$dest/main/Program/help/"
cp "$src/说明.txt" "$src/UserList.db" "$dest/main/Program/"
cp "$b32/standins-bin/product/system32/QRNHelper.dll" "$b32/standins-bin/product/system32/mfc42.dll" "$dest/main/System32/"
cp "$b32/standins-bin/QRNShellExt.dll" "$b32/standins-bin/QRNDragDrop.dll" "$dest/en32/Program/"
cp "$b64/standins-bin/QRNShellExt-x64.dll" "$b64/standins-bin/QRNDragDrop-x64.dll" "$dest/ch64/Program/"
cp "$b32/standins-bin/drivers/Velmdisk2.sys" "$b32/standins-bin/drivers/Velmdisk.sys" "$dest/sys/32/"
cp "$b64/standins-bin/drivers/Velmdisk2-x64.sys" "$b64/standins-bin/drivers/Velmdisk-x64.sys" "$dest/sys/64/"
# The same bytes make the same setup: fixed file times.
find "$dest" -exec touch -h -d '2020-02-20 12:00:00 UTC' {} +
