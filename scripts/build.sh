#!/usr/bin/env bash
# Builds everything and collects the deliverables in out/:
#   build/i686     the installer (32-bit) and its Windows tests where 32-bit code runs
#   build/x86_64   64-bit stand-ins and the Windows tests run under Wine here
#   build/native   portable code, the packer, native tests and benchmarks
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup-machine.sh"

type=${QRN_BUILD_TYPE:-Release}
win32_note=""
i686_tests=ON
if ! "$root/scripts/wine-run" --can-run-32; then
  win32_note="this machine runs no 32-bit code"
  i686_tests=OFF
fi

configure() {
  local dir=$1
  shift
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
}
configure i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" -DQRN_BUILD_TESTS=$i686_tests
configure x86_64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake"
configure native -DQRN_WINDOWS_BUILDS="$root/build/i686;$root/build/x86_64" -DQRN_WIN32_UNAVAILABLE="$win32_note" \
  -DQRN_STUB="$root/build/i686/app/installer-stub.exe"
for dir in i686 x86_64 native; do
  echo "build: $dir"
  cmake --build "$root/build/$dir"
done

mkdir -p "$root/out"
cp "$root/build/i686/app/installer-stub.exe" "$root/out/installer-stub.exe"
cp "$root/build/native/tools/qrnpack/qrnpack" "$root/out/qrnpack"
cp "$root/tools/report-server/report-server" "$root/out/report-server"
# The UI driver as a 64-bit program: it runs wherever Wine or Windows runs
# 64-bit code and drives 32-bit and 64-bit windows alike.
cp "$root/build/x86_64/tools/ui-driver/ui-driver.exe" "$root/out/ui-driver.exe"
"$root/out/qrnpack" pack "$root/out/installer-stub.exe" "$root/sample/payload" "$root/out/QuorrinSetup.exe"
