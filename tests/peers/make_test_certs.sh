#!/bin/sh
# make_test_certs.sh DIR: certificates for TLS tests, made with the openssl
# command line tool (P-256 keys, valid for a week):
#   ca.pem, ca.key                  a test certificate authority
#   server.pem, server.key          signed by it, for localhost, 127.0.0.1 and ::1
#   wrong-host.pem, wrong-host.key  signed by it, for wrong-host.test only
#   self-signed.pem, self-signed.key  for localhost and 127.0.0.1, signed by
#                                     itself (trusted by nobody)
set -eu
[ $# -eq 1 ] || { echo "usage: make_test_certs.sh DIR" >&2; exit 2; }
mkdir -p "$1"
cd "$1"

key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

key ca.key
openssl req -x509 -new -key ca.key -out ca.pem -days 7 -subj "/CN=Revizer Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null

# leaf NAME COMMON_NAME SUBJECT_ALT_NAMES: a server certificate signed by the CA.
leaf() {
  key "$1.key"
  openssl req -new -key "$1.key" -subj "/CN=$2" -out "$1.csr" 2>/dev/null
  printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' \
    "$3" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -set_serial "0x$(openssl rand -hex 8)" \
    -days 7 -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}
leaf server localhost "DNS:localhost,IP:127.0.0.1,IP:::1"
leaf wrong-host wrong-host.test "DNS:wrong-host.test"

key self-signed.key
openssl req -x509 -new -key self-signed.key -out self-signed.pem -days 7 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -addext "extendedKeyUsage=serverAuth" 2>/dev/null
