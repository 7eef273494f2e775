#!/usr/bin/env bash
# Where each kind of build sends its install report. The release configure
# preset ("release" in CMakePresets.json) points the installer at the maker's
# host on port 80, never at a loopback address; the builds made for the tests
# and the demo keep the local test report server, 127.0.0.1:18631.
#
# The release setup is configured into a scratch folder as the release
# engineer does it, and only the report client's objects that take the
# setting are compiled, so the host is read from the compiled code.
#   report_server_setting_test.sh <cmake> <source-dir> [<test build folder>...]
set -u
cmake=$1 src=$2
shift 2
# shellcheck source=tests/tools/checks.sh
. "$(dirname "$0")/../tools/checks.sh"
generated=report/generated/report/ReportServer.h
host_of() { sed -n 's/^#define QRN_REPORT_HOST L"\(.*\)"$/\1/p' "$1"; }
port_of() { sed -n 's/^#define QRN_REPORT_PORT \([0-9]*\)$/\1/p' "$1"; }
not_loopback() {
  case ${1,,} in
    "" | 127.* | localhost | localhost. | *.localhost | ::1 | "[::1]" | 0.0.0.0) return 1 ;;
  esac
}
carries_utf16() {  # carries_utf16 <file> <text>: the text as a wide string literal
  python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' "$1" "$2"
}
lacks_utf16() { ! carries_utf16 "$@"; }

release=$work/release
if ! (cd "$src" && "$cmake" --preset release -B "$release" >"$work/configure.log" 2>&1); then
  cat "$work/configure.log"
  echo "FAILED: configure the release preset"
  exit 1
fi
host=$(host_of "$release/$generated")
port=$(port_of "$release/$generated")
check "release: port 80 (${port:-none})" test "$port" = 80
check "release: host ${host:-none} is not a loopback address" not_loopback "$host"
check "release: the 32-bit installer build" grep -q '^CMAKE_TOOLCHAIN_FILE:.*toolchain-i686-w64-mingw32.cmake$' \
  "$release/CMakeCache.txt"

# The report client's sources that read the setting, compiled as the release
# build compiles them.
objects=()
while read -r source; do
  objects+=("report/CMakeFiles/qrn_report.dir/$(basename "$source").obj")
done < <(grep -l '"report/ReportServer.h"' "$src"/report/*.cpp)
check "release: the report client reads the setting" test ${#objects[@]} -gt 0
if "$cmake" --build "$release" --target "${objects[@]}" >"$work/build.log" 2>&1; then
  for object in "${objects[@]}"; do
    name=$(basename "$object")
    check "release: $name carries $host" carries_utf16 "$release/$object" "$host"
    for loopback in 127.0.0.1 localhost; do
      check "release: $name carries no $loopback" lacks_utf16 "$release/$object" "$loopback"
    done
  done
else
  cat "$work/build.log"
  check "release: compile the report client" false
fi

# Everything built for the tests and the demo (scripts/build.sh) stays on
# the local test report server.
for dir in "$@"; do
  [[ -f $dir/$generated ]] || continue
  check "$(basename "$dir"): host 127.0.0.1" test "$(host_of "$dir/$generated")" = 127.0.0.1
  check "$(basename "$dir"): port 18631" test "$(port_of "$dir/$generated")" = 18631
done

checks_done
