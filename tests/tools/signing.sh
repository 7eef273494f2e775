# shellcheck shell=bash
# Sourced by the tests that sign a setup as a release is signed (README,
# "Signing"): Authenticode with osslsigncode, SHA-256, but with a throwaway
# certificate made at test time instead of the maker's, and no timestamp
# (that needs the issuer's timestamp server).
#   make_signing_cert <dir>            <dir>/signer.pem, a self-signed
#                                      code-signing certificate valid for two
#                                      days, and its key <dir>/signer.key
#   sign_setup <dir> <setup> <signed>  writes <signed>, <setup> signed with it
#   verify_signature <dir> <signed>    osslsigncode's verdict against that
#                                      certificate (its report on stdout)
make_signing_cert() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quorrin test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$1/signer.key" -out "$1/signer.pem" 2>/dev/null
}
sign_setup() {
  osslsigncode sign -certs "$1/signer.pem" -key "$1/signer.key" -h sha256 -n Quorrin \
    -i https://www.quorrin.example/ -in "$2" -out "$3" >/dev/null
}
verify_signature() {
  osslsigncode verify -CAfile "$1/signer.pem" -in "$2" 2>&1
}
