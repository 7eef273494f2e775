#!/usr/bin/env bash
# Builds everything and collects the deliverables in out/:
#   build/i686     the installer (32-bit) and its Windows tests where 32-bit code runs
#   build/x86_64   64-bit stand-ins and the Windows tests run under Wine here
#   build/native   portable code, the packer, native tests and benchmarks
#   build/fuzz     the fuzz targets (tests/fuzz): clang, libFuzzer, ASan, UBSan
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
# The 32-bit lane (scripts/x32-lane.sh) builds them anyway and runs them in
# an emulated guest.
if [[ ${QRN_BUILD_I686_TESTS:-} == 1 ]]; then i686_tests=ON; fi

configure() {
  local dir=$1
  shift
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
}
# The fuzzing build needs clang with libFuzzer and both sanitizers'
# runtimes (setup-machine installs them). Without them it is not made and
# the native ctest's fuzz entries fail, saying why.
fuzz_note=""
probe=$(mktemp -d)
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/probe.cpp"
if ! command -v clang++ >/dev/null; then
  fuzz_note="clang++ is missing"
elif ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
  fuzz_note="clang++ cannot link libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer"
fi
rm -rf "$probe"

configure i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" -DQRN_BUILD_TESTS=$i686_tests
configure x86_64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake"
configure native -DQRN_WINDOWS_BUILDS="$root/build/i686;$root/build/x86_64" -DQRN_WIN32_UNAVAILABLE="$win32_note" \
  -DQRN_STUB="$root/build/i686/app/installer-stub.exe" -DQRN_FUZZ_BUILD="$root/build/fuzz" \
  -DQRN_FUZZ_UNAVAILABLE="$fuzz_note"
builds=(i686 x86_64 native)
if [[ -z $fuzz_note ]]; then
  # Optimised with line information: findings name their source lines.
  cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DQRN_FUZZ=ON >/dev/null
  builds+=(fuzz)
else
  echo "build: no fuzzing build: $fuzz_note (the fuzz tests will fail)" >&2
fi
for dir in "${builds[@]}"; do
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
# The summary of an installation that the demo prints (x86-64, as the UI driver).
cp "$root/build/x86_64/tools/install-summary/install-summary.exe" "$root/out/install-summary.exe"

# The setups, packed from the stand-in product laid out as the payload:
#   QuorrinSetup.exe      the 32-bit installer with the 32-bit product
#   QuorrinSetup-x64.exe  the x86_64 build of the installer (it answers IsWow64
#                         TRUE, so it installs as the 32-bit one does on 64-bit
#                         Windows) with the product's programs from the x86_64
#                         build: the setup that runs where only 64-bit code runs
"$root/scripts/assemble-payload.sh" win32 "$root/build/product/payload-win32"
"$root/scripts/assemble-payload.sh" x64 "$root/build/product/payload-x64"
"$root/out/qrnpack" pack "$root/out/installer-stub.exe" "$root/build/product/payload-win32" "$root/out/QuorrinSetup.exe"
"$root/out/qrnpack" pack "$root/build/x86_64/app/installer-stub.exe" "$root/build/product/payload-x64" \
  "$root/out/QuorrinSetup-x64.exe"
for setup in QuorrinSetup.exe QuorrinSetup-x64.exe; do
  "$root/out/qrnpack" verify "$root/out/$setup" >/dev/null
done
