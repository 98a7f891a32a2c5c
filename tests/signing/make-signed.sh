#!/usr/bin/env bash
# Makes the certificates of a test publisher with openssl and signs stand-in workers with them
# (osslsigncode), for the Wine tests of the publisher check. Test files only: no shipped
# program is ever signed here, and every key is made anew in the build tree.
#   make-signed.sh KEY_DIR OUT_DIR STANDIN_V1 STANDIN_V2
# KEY_DIR gets the keys and certificates in PEM. OUT_DIR then holds each certificate as DER,
# Sign<Name>.cer, with its SHA-1 thumbprint in upper-case hexadecimal, Sign<Name>.sha1:
#   Root       a root the tests trust while they run
#   Publisher  the publisher's certificate under that root
#   Renewed    its renewal: the same subject and root, a new key
#   Self       a self-signed certificate of the same subject that no root vouches for
#   Other      another publisher's certificate under the same root
#   Server     the publisher's subject under the root, for server authentication only
#   Nul        the publisher's subject with a NUL and more after it, under the root
#   Break      the publisher's subject with a line break and a record's line after it
# and the stand-ins signed with SHA-256: StandInWorker-<cert>.exe (publisher, self),
# StandInWorker2-<cert>.exe (publisher, renewed, self, other, server, nul, break); then
# StandInWorker-changed.exe and StandInWorker2-changed.exe, signed by the publisher and changed
# afterwards, StandInWorker2-redigested.exe, changed with the digest inside its signature
# rewritten to match (which Wine's verifier does not see), StandInWorker2-script.exe, the
# unsigned program carrying the publisher's signature of a PowerShell script, and
# StandInWorker2-gandro.exe, signed by the publisher, whose version resource names another
# program (StandInGandro.exe).
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
self_signed() {  # NAME SUBJECT EXTENSIONS SERIAL
  key "$1"
  openssl req -new -x509 -key "$keys/$1.key" -subj "$2" -config "$config" -extensions "$3" \
    -set_serial "$4" -days $days -out "$keys/$1.pem"
}
issued_by_root() {  # NAME SUBJECT SERIAL [EXTENSIONS]
  key "$1"
  openssl req -new -key "$keys/$1.key" -subj "$2" -config "$config" -out "$keys/$1.csr"
  openssl x509 -req -in "$keys/$1.csr" -CA "$keys/root.pem" -CAkey "$keys/root.key" \
    -set_serial "$3" -days $days -extfile "$config" -extensions "${4:-publisher}" \
    -out "$keys/$1.pem" 2>/dev/null
}
# The publisher's name with a NUL and an "x" after it, under the root: no command line carries
# a NUL, so the request is made with a "Q" in its place, which is then changed, and issued
# without checking the request's own signature (which the change breaks).
issued_with_nul() {  # NAME SERIAL
  key "$1"
  openssl req -new -key "$keys/$1.key" -subj "${publisher_subject}Qx" -config "$config" \
    -outform DER -out "$keys/$1.csr"
  perl -0777 -pi -e 's/PublisherQx/Publisher\0x/ or die "no name to change"' "$keys/$1.csr"
  openssl req -inform DER -in "$keys/$1.csr" -x509 -CA "$keys/root.pem" -CAkey "$keys/root.key" \
    -set_serial "$2" -days $days -config "$config" -extensions publisher \
    -out "$keys/$1.pem" 2>/dev/null
}
export_certificate() {  # NAME FILE_NAME
  openssl x509 -in "$keys/$1.pem" -outform DER -out "$out/Sign$2.cer"
  openssl x509 -in "$keys/$1.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g' |
    tr -d '\n' >"$out/Sign$2.sha1"
}
sign() {  # CERT IN OUT
  rm -f "$3"
  osslsigncode sign -certs "$keys/$1.pem" -key "$keys/$1.key" -h sha256 -n "Terminal worker" \
    -in "$2" -out "$3" >/dev/null
}
# Swaps the first two 16-bit words of the DOS stub's text ("This" becomes "isTh"): a change
# to the signed bytes that leaves the PE checksum as it was and the program as it runs.
change() { perl -0777 -pe 's/\A(.{78})This/$1isTh/s or die "no DOS stub text"' "$1" >"$2"; }
# Perl that writes the PE checksum of $file anew.
readonly checksum_perl='
    my $checksum = unpack("V", substr($file, 0x3C, 4)) + 88;
    substr($file, $checksum, 4) = "\0\0\0\0";
    my $sum = 0;
    $sum = (($sum + $_) & 0xFFFF) + (($sum + $_) >> 16)
      for unpack "v*", $file . (length($file) % 2 ? "\0" : "");
    substr($file, $checksum, 4) = pack "V", $sum + length $file;'
# Writes over the digest inside the signature the one osslsigncode computes for the changed
# bytes, then the PE checksum anew: the signed attributes still hold the old digest's hash.
redigest() {  # IN OUT
  local digests
  digests=$(osslsigncode verify -in "$1" 2>/dev/null |
    sed -n 's/^\(Current\|Calculated\) message digest *: *\([0-9A-F]*\).*/\2/p' || true)
  perl -0777 -e '
    my ($old, $new) = map { pack "H*", $_ } @ARGV;
    my $file = <STDIN>;
    my $at = index($file, $old);
    die "no digest in the signature" if $at < 0 || length $old != 32;
    substr($file, $at, 32) = $new;'"$checksum_perl"'
    print $file;' $digests <"$1" >"$2"
}
# Signs a PowerShell script with CERT and puts its signature, as it is, in the certificate
# table of the unsigned program IN: a signature made for something that is not a program.
move_script_signature() {  # CERT IN OUT
  printf 'Write-Output "terminal"\r\n' >"$keys/script.ps1"
  rm -f "$keys/script-signed.ps1"
  osslsigncode sign -certs "$keys/$1.pem" -key "$keys/$1.key" -h sha256 \
    -in "$keys/script.ps1" -out "$keys/script-signed.ps1" >/dev/null
  rm -f "$keys/script.der"
  osslsigncode extract-signature -in "$keys/script-signed.ps1" -out "$keys/script.der" >/dev/null
  perl -0777 -e '
    open my $in, "<:raw", $ARGV[0] or die; my $signature = <$in>;
    my $file = <STDIN>;
    my $optional = unpack("V", substr($file, 0x3C, 4)) + 24;
    my $table = $optional + (unpack("v", substr($file, $optional, 2)) == 0x20B ? 144 : 128);
    die "already signed" if unpack("V", substr($file, $table + 4, 4)) != 0;
    $file .= "\0" x (-length($file) % 8);
    $signature .= "\0" x (-length($signature) % 8);
    my $entry = pack("Vvv", 8 + length $signature, 0x0200, 0x0002) . $signature;
    substr($file, $table, 8) = pack "VV", length $file, length $entry;
    $file .= $entry;'"$checksum_perl"'
    print $file;' "$keys/script.der" <"$2" >"$3"
}

self_signed root '/CN=Terminal Test Root' root 1
issued_by_root publisher "$publisher_subject" 2
issued_by_root renewed "$publisher_subject" 3
self_signed self "$publisher_subject" publisher 4
issued_by_root other "$other_subject" 5
issued_by_root server "$publisher_subject" 6 server_authentication
issued_with_nul nul 7
# A name that holds a line break and, after it, the start of a line of the record (a name
# has at most 64 characters).
issued_by_root break "$publisher_subject
2026-12-09 04:00:00.000 \+00:00 TULVAN updated" 8
for name in root publisher renewed self other server nul break; do
  export_certificate $name "${name^}"
done

for cert in publisher self; do sign $cert "$v1" "$out/StandInWorker-$cert.exe"; done
for cert in publisher renewed self other server nul break; do
  sign $cert "$v2" "$out/StandInWorker2-$cert.exe"
done
change "$out/StandInWorker-publisher.exe" "$out/StandInWorker-changed.exe"
change "$out/StandInWorker2-publisher.exe" "$out/StandInWorker2-changed.exe"
redigest "$out/StandInWorker2-changed.exe" "$out/StandInWorker2-redigested.exe"
move_script_signature publisher "$v2" "$out/StandInWorker2-script.exe"
# The site's signed program of another name: its version resource's OriginalFilename changed
# before signing, to one of the same length.
perl -0777 -pe 'use Encode; my ($key, $from, $to) = map { encode("UTF-16LE", $_) }
    "OriginalFilename", "StandInWorker", "StandInGandro";
  s/(\Q$key\E\0\0(?:\0\0)?)\Q$from\E/$1$to/ or die "no OriginalFilename"' "$v2" \
  >"$keys/StandInGandro.exe"
sign publisher "$keys/StandInGandro.exe" "$out/StandInWorker2-gandro.exe"
