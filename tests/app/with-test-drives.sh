#!/usr/bin/env bash
# Runs a window test with two small drives in its Wine prefix, which a
# program inside Wine cannot make for itself:
#   QRN_SMALL_DRIVE  a 50 MB tmpfs (too little space for the installer)
#   QRN_EXACT_DRIVE  a 55 MB tmpfs (exactly the space the installer needs)
# mapped as drive letters in the prefix's dosdevices and exported to the test.
# Without mount rights the test runs without them (and says so).
#   with-test-drives.sh <wine-run> <prefix> <program.exe> [args...]
set -u
wine_run=$1 prefix=$2
root=$(cd "$(dirname "$wine_run")/.." && pwd)
dosdevices=${QRN_WINE_ROOT:-$root/build/wine}/$prefix/dosdevices
work=$(mktemp -d)
letters=()
cleanup() {
  for l in "${letters[@]}"; do rm -f "$dosdevices/$l:"; done
  for d in small exact; do mountpoint -q "$work/$d" && umount "$work/$d"; done
  rm -rf "$work"
}
trap cleanup EXIT

# The first two free letters from the end of the alphabet.
free_letters=()
for l in t s r q p o n m; do
  [[ -e $dosdevices/$l: || -L $dosdevices/$l: ]] || free_letters+=("$l")
done

mount_drive() {  # <name> <size> <letter> <variable>
  mkdir -p "$work/$1"
  if [[ -d $dosdevices ]] && mount -t tmpfs -o "size=$2" "qrn-test-$1" "$work/$1" 2>/dev/null; then
    ln -s "$work/$1" "$dosdevices/$3:"
    letters+=("$3")
    export "$4=${3^^}:"
  else
    echo "with-test-drives: cannot mount a $2 tmpfs here; the tests that need it are skipped" >&2
  fi
}
if ((${#free_letters[@]} >= 2)); then
  mount_drive small 50m "${free_letters[0]}" QRN_SMALL_DRIVE
  mount_drive exact 55m "${free_letters[1]}" QRN_EXACT_DRIVE
fi

"$@"
