#!/usr/bin/env bash
# Builds everything, packs out/QuorrinSetup.exe from the sample payload and
# shows what the setup carries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
echo
file "$root/out/QuorrinSetup.exe"
"$root/out/qrnpack" list "$root/out/QuorrinSetup.exe"
"$root/out/qrnpack" verify "$root/out/QuorrinSetup.exe"
