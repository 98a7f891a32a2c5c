#!/usr/bin/env bash
# Makes the certificates of a test publisher with openssl and signs stand-in workers with them
# (osslsigncode), for the Wine tests of the publisher check. Test files only: no shipped
# program is ever signed here, and every key is made anew in the build tree.
#   make-signed.sh KEY_DIR OUT_DIR STANDIN_V1 STANDIN_V2
# KEY_DIR gets the keys and certificates in PEM; OUT_DIR then holds, as DER:
#   SignRoot.cer       a root the tests trust while they run
#   SignPublisher.cer  the publisher's certificate under that root
#   SignRenewed.cer    its renewal: the same subject and root, a new key
#   SignSelf.cer       a self-signed certificate of the same subject that no root vouches for
#   SignOther.cer      another publisher's certificate under the same root
# and StandInWorker-<cert>.exe (publisher, self), StandInWorker2-<cert>.exe (publisher,
# renewed, self, other): the stand-ins signed with SHA-256.
set -euo pipefail
usage='usage: make-signed.sh KEY_DIR OUT_DIR STANDIN_V1 STANDIN_V2'
keys=${1:?$usage}
out=${2:?$usage}
v1=${3:?$usage}
v2=${4:?$usage}
config=$(cd "$(dirname "$0")" && pwd)/openssl.cnf
mkdir -p "$keys"
readonly publisher_subject='/O=Terminal Test Site/CN=Site Publisher'
readonly other_subject='/O=Another Test Site/CN=Other Publisher'
readonly days=3650

key() { openssl genrsa -out "$keys/$1.key" 2048 2>/dev/null; }
der() { openssl x509 -in "$keys/$1.pem" -outform DER -out "$out/Sign$2.cer"; }
self_signed() {  # NAME SUBJECT EXTENSIONS SERIAL
  key "$1"
  openssl req -new -x509 -key "$keys/$1.key" -subj "$2" -config "$config" -extensions "$3" \
    -set_serial "$4" -days $days -out "$keys/$1.pem"
}
issued_by_root() {  # NAME SUBJECT SERIAL
  key "$1"
  openssl req -new -key "$keys/$1.key" -subj "$2" -config "$config" \
    -out "$keys/$1.csr"
  openssl x509 -req -in "$keys/$1.csr" -CA "$keys/root.pem" -CAkey "$keys/root.key" \
    -set_serial "$3" -days $days -extfile "$config" -extensions publisher \
    -out "$keys/$1.pem" 2>/dev/null
}
sign() {  # CERT IN OUT
  rm -f "$3"
  osslsigncode sign -certs "$keys/$1.pem" -key "$keys/$1.key" -h sha256 -n "Terminal worker" \
    -in "$2" -out "$3" >/dev/null
}

self_signed root '/CN=Terminal Test Root' root 1
issued_by_root publisher "$publisher_subject" 2
issued_by_root renewed "$publisher_subject" 3
self_signed self "$publisher_subject" publisher 4
issued_by_root other "$other_subject" 5
der root Root
der publisher Publisher
der renewed Renewed
der self Self
der other Other

for cert in publisher self; do sign $cert "$v1" "$out/StandInWorker-$cert.exe"; done
for cert in publisher renewed self other; do sign $cert "$v2" "$out/StandInWorker2-$cert.exe"; done
