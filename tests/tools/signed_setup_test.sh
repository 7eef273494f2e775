#!/usr/bin/env bash
# The setups signed as a release is signed (Authenticode by osslsigncode,
# SHA-256, a throwaway code-signing certificate made here): the signature
# verifies against that certificate; signing changed nothing before the
# archive's trailer but the PE checksum and the certificate-table entry, and
# appended only padding and the certificate table; qrnpack verifies the
# signed setup and lists the same archive as before.
# Then the certificate table of a copy is damaged: a byte of the signature
# value flipped, or a small archive of its own planted at the end of the
# table with a trailer at the file's end pointing at it (which a reader that
# trusted the file's end would take). osslsigncode must refuse each copy and
# qrnpack must still read the signed archive: the bytes after the trailer,
# which the signature does not cover, never steer the reader.
#   signed_setup_test.sh <qrnpack> <setup>...
set -u
qrnpack=$1
shift
# shellcheck source=tests/tools/checks.sh
. "$(dirname "$0")/checks.sh"
# shellcheck source=tests/tools/signing.sh
. "$(dirname "$0")/signing.sh"

# authenticode.py layout <unsigned> <signed>: what signing changed, checked.
# authenticode.py flip|plant|clear-dos <in> <out> [<planted setup>]: a damaged copy.
cat >"$work/authenticode.py" <<'PY'
import struct, sys

def cert_table(data):
    """File offset and size of the certificate table (security directory)."""
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from('<H', data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    return pe, optional, directories + 4 * 8

mode, src, dst = sys.argv[1], sys.argv[2], sys.argv[3]
data = bytearray(open(src, 'rb').read())
if mode == 'layout':
    signed = open(dst, 'rb').read()
    pe, optional, entry = cert_table(signed)
    offset, size = struct.unpack_from('<II', signed, entry)
    skipped = list(range(optional + 64, optional + 68)) + list(range(entry, entry + 8))
    before = bytearray(signed[:len(data)])
    for i in skipped:
        before[i] = data[i]
    problems = []
    if bytes(before) != bytes(data):
        problems.append('bytes before the end of the unsigned file changed')
    if offset != (len(data) + 7) // 8 * 8 or any(signed[len(data):offset]):
        problems.append('the certificate table at %d does not follow the trailer (file end %d)' % (offset, len(data)))
    if size == 0 or offset + size != len(signed):
        problems.append('the certificate table (%d bytes) does not end the file' % size)
    print('; '.join(problems) or 'certificate table at %d, %d bytes' % (offset, size))
    sys.exit(1 if problems else 0)

pe, optional, entry = cert_table(data)
offset, size = struct.unpack_from('<II', data, entry)
pkcs7 = offset + 8  # behind WIN_CERTIFICATE's length, revision and type
if mode == 'flip':
    # A DER SEQUENCE with a two-byte length; without a timestamp the signer's
    # signature value is its last field.
    assert data[pkcs7] == 0x30 and data[pkcs7 + 1] == 0x82
    end = pkcs7 + 4 + struct.unpack_from('>H', data, pkcs7 + 2)[0]
    data[end - 16] ^= 0x01
elif mode == 'plant':
    planted = open(sys.argv[4], 'rb').read()
    archive = planted[struct.unpack_from('<I', planted, 28)[0]:]
    at = len(data) - len(archive)
    assert at > pkcs7, 'the planted archive does not fit into the certificate table'
    data[at:] = archive
    struct.pack_into('<I', data, len(data) - 4, at)
elif mode == 'clear-dos':
    struct.pack_into('<II', data, 28, 0, 0)  # the location field and the packer's mark
open(dst, 'wb').write(data)
PY
authenticode() { python3 "$work/authenticode.py" "$@"; }

accepted() {  # <signed>: osslsigncode verifies its signature against the certificate
  verify_signature "$work" "$1" >"$work/verdict" || { cat "$work/verdict"; return 1; }
  grep -qx 'Signature verification: ok' "$work/verdict"
}
rejected() {  # <signed>: osslsigncode refuses it (its reason shown)
  if verify_signature "$work" "$1" >"$work/verdict"; then cat "$work/verdict"; return 1; fi
  grep -iE 'fail|error' "$work/verdict" | head -n 3
  return 0
}
same_archive() {  # <setup> <expected list>: verify passes without warning and lists the same
  local out
  out=$("$qrnpack" verify "$1" 2>&1) || { echo "$out"; return 1; }
  [[ $out == "ok: "*" entries verified" ]] || { echo "$out"; return 1; }
  diff <("$qrnpack" list "$1") "$2"
}

check "a throwaway code-signing certificate" make_signing_cert "$work"
# The archive planted into the certificate table: one file of its own.
mkdir -p "$work/planted/main/Program"
echo planted >"$work/planted/main/Program/planted.txt"
{ printf 'MZ'; head -c 62 /dev/zero; } >"$work/stub.exe"
check "a small archive to plant" bash -c "'$qrnpack' pack --store '$work/stub.exe' '$work/planted' '$work/planted.exe' >/dev/null"

for setup in "$@"; do
  name=$(basename "$setup" .exe)
  signed=$work/$name-signed.exe
  check "$name: unsigned, listed" bash -c "'$qrnpack' list '$setup' >'$work/$name.list'"
  check "$name: signed" sign_setup "$work" "$setup" "$signed"
  check "$name: osslsigncode verifies the signature" accepted "$signed"
  check "$name: only the checksum, the table entry and what follows the trailer changed" \
    authenticode layout "$setup" "$signed"
  check "$name: the signed setup verifies and lists the same archive" same_archive "$signed" "$work/$name.list"

  for damage in flip plant; do
    damaged=$work/$name-$damage.exe
    check "$name: damaged copy ($damage)" authenticode "$damage" "$signed" "$damaged" "$work/planted.exe"
    check "$name ($damage): osslsigncode refuses it" rejected "$damaged"
    check "$name ($damage): still the signed archive" same_archive "$damaged" "$work/$name.list"
  done
  # The planted archive is one a reader would find from the file's end: with
  # the DOS-header field cleared, the trailer leads to it.
  check "$name (plant): the planted archive is whole" bash -c \
    "python3 '$work/authenticode.py' clear-dos '$work/$name-plant.exe' '$work/$name-cleared.exe' &&
     '$qrnpack' verify '$work/$name-cleared.exe' >/dev/null &&
     '$qrnpack' list '$work/$name-cleared.exe' | grep -q 'planted\.txt'"
done

checks_done
