#!/usr/bin/env bash
# The packer as the release engineer uses it: pack, list, verify; the same
# folder twice gives the same bytes; damage is reported with the entry's name;
# another builder's reserved bytes are not taken for our check; a name that
# code page 936 cannot hold is refused.
#   qrnpack_cli_test.sh <qrnpack> <stub.exe> <payload-dir>
set -u
qrnpack=$1 stub=$2 payload=$3
# shellcheck source=tests/tools/checks.sh
. "$(dirname "$0")/checks.sh"
expect_fail_naming() {  # <setup> <text the message must contain>
  local out
  if out=$("$qrnpack" verify "$1" 2>&1); then echo "verify passed: $out"; return 1; fi
  echo "$out"
  [[ $out == *"$2"* ]]
}

check "pack" "$qrnpack" pack "$stub" "$payload" "$work/a.exe"
check "pack again" "$qrnpack" pack "$stub" "$payload" "$work/b.exe"
check "same input, same bytes" cmp -s "$work/a.exe" "$work/b.exe"
check "PE32 GUI i386" bash -c "file '$work/a.exe' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "verify" "$qrnpack" verify "$work/a.exe"
check "list shows a Chinese name" bash -c "'$qrnpack' list '$work/a.exe' | grep -q '说明.txt'"

# One flipped byte inside the data of the first file entry, whose data
# begins the stream.
python3 - "$work/a.exe" "$work/flipped.exe" <<'PY'
import struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = bytearray(open(src, 'rb').read())
start = struct.unpack_from('<I', data, 28)[0]
data[start + 40 + 5] ^= 0x01
open(dst, 'wb').write(data)
PY
first=$("$qrnpack" list "$work/a.exe" | awk 'NR > 2 && $2 > 0 { print $NF; exit }')
check "flipped byte names the entry ($first)" expect_fail_naming "$work/flipped.exe" "$first"

# Another builder writes no mark and may leave the reserved bytes of every entry and times
# record uninitialised: such an archive verifies, listed without sizes.
check "pack in plain" "$qrnpack" pack --no-cipher "$stub" "$payload" "$work/plain.exe"
python3 - "$work/plain.exe" "$work/reserved.exe" <<'PY'
import random, struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = bytearray(open(src, 'rb').read())
stream = struct.unpack_from('<I', data, 28)[0] + 40
index, names = struct.unpack_from('<QQ', data, stream - 40 + 16)
index_size, names_size = struct.unpack_from('<II', data, stream - 40 + 32)
rand = random.Random(5)
data[32:36] = bytes(4)  # another builder leaves the packer's mark out
for i in range((index_size - 6) // 36):
    entry = stream + index + 6 + 36 * i
    times = stream + names + names_size + 28 * i
    data[entry:entry + 8] = rand.randbytes(8)
    data[times + 24:times + 28] = rand.randbytes(4)
open(dst, 'wb').write(data)
PY
check "random reserved bytes verify" "$qrnpack" verify "$work/reserved.exe"
check "random reserved bytes list no size" bash -c \
  "'$qrnpack' list '$work/reserved.exe' | awk 'NR > 2 && \$2 > 0 { print \$3 }' | sort -u | grep -qx '?'"

head -c -100 "$work/a.exe" >"$work/cut.exe"
check "cut file names an entry" expect_fail_naming "$work/cut.exe" "entry"

mkdir -p "$work/bad/main/Program"
echo x >"$work/bad/main/Program/smile-😀.txt"
check "a name outside code page 936 is refused" bash -c \
  "! '$qrnpack' pack '$stub' '$work/bad' '$work/bad.exe' 2>'$work/err' && grep -q 'code page 936' '$work/err' && [ ! -e '$work/bad.exe' ]"

# A file the format cannot hold is refused before anything is read or written.
mkdir -p "$work/huge/main/Program"
truncate -s 2G "$work/huge/main/Program/huge.bin"
check "a file of 2 GiB is refused at once, naming it" bash -c \
  "! '$qrnpack' pack '$stub' '$work/huge' '$work/huge.exe' 2>'$work/err' && grep -q 'file of 2 GiB or more is not supported: .*huge.bin' '$work/err' && [ ! -e '$work/huge.exe' ] && [ ! -e '$work/huge.exe.tmp' ]"
rm -rf "$work/huge"

checks_done
