#!/usr/bin/env bash
# The signing of the shipped helper, end to end, with a throwaway certificate authority made
# here (never a real key): a copy is signed through scripts/sign.sh, verifies against that
# authority with its PE checksum right, and fails verification after a one-byte change; a wrong
# password, a certificate without the code-signing use and an expired one are refused with one
# line and leave no signed file.
#   signing-test.sh <KeltoClientHelper.exe>
set -euo pipefail
helper=$(realpath "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)
sign=$repo/scripts/sign.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check <what> <command...>: the command must succeed
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
refused() {  # refused <what> <expected line part> <env...>: sign.sh must fail with that line, writing nothing
    local what=$1 expected=$2
    shift 2
    rm -f refused.exe
    if env "$@" "$sign" "$helper" refused.exe 2>refused.err; then
        echo "FAILED: $what was signed"
        failures=$((failures + 1))
    elif [ -e refused.exe ]; then
        echo "FAILED: $what left a file under the signed name"
        failures=$((failures + 1))
    elif ! grep -q "$expected" refused.err || [ "$(wc -l <refused.err)" -ne 1 ]; then
        echo "FAILED: $what: expected one line naming \"$expected\", got: $(cat refused.err)"
        failures=$((failures + 1))
    elif grep -q "test-password" refused.err; then
        echo "FAILED: $what: the password was printed"
        failures=$((failures + 1))
    else
        echo "ok: $what refused: $(cat refused.err)"
    fi
}

# A certificate authority, and certificates it issues: for code signing, for the web only, and
# one that expired yesterday.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Kelto Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
issue() {  # issue <name> <extended key usage> <days>
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=Kelto Test $1/O=Kelto Remote" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -out "$1.pem" -days "$3" \
        -extfile "$1.ext" 2>/dev/null
}
issue signer codeSigning 1
issue web serverAuth 1
# Expired: valid from two days ago to yesterday, issued with the dates given outright.
openssl req -newkey rsa:2048 -nodes -keyout old.key -out old.csr -subj "/CN=Kelto Test old" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >old.ext
mkdir -p ca/new && : >ca/index.txt && echo 01 >ca/serial
cat >ca.cnf <<CNF
[ca]
default_ca = test
[test]
dir = ca
database = ca/index.txt
new_certs_dir = ca/new
serial = ca/serial
default_md = sha256
policy = any
[any]
commonName = supplied
CNF
openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in old.csr -out old.pem -extfile old.ext \
    -startdate "$(date -u -d '2 days ago' +%Y%m%d%H%M%SZ)" -enddate "$(date -u -d '1 day ago' +%Y%m%d%H%M%SZ)" \
    >/dev/null 2>&1
printf 'test-password' >password.txt
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.p12 \
    -passout file:password.txt
printf 'wrong' >wrong.txt

before=$(sha256sum <"$helper")
KELTO_SIGN_PKCS12=signer.p12 KELTO_SIGN_PASSWORD_FILE=password.txt "$sign" "$helper" signed.exe
check "the signed copy verifies against the authority" \
    bash -c 'osslsigncode verify -CAfile ca.pem -in signed.exe >verify.log 2>&1'
check "its PE checksum is right" bash -c 'grep -q "PE checksum" verify.log && ! grep -qi "mismatch" verify.log'
check "the signer is the test certificate" grep -q "Kelto Test signer" verify.log
check "the unsigned helper is left as it was" test "$(sha256sum <"$helper")" = "$before"

# One byte changed in the middle of the file: the signature no longer holds.
cp signed.exe tampered.exe
size=$(stat -c %s tampered.exe)
offset=$((size / 2))
byte=$(od -An -tu1 -j "$offset" -N1 tampered.exe | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" | dd of=tampered.exe bs=1 seek="$offset" conv=notrunc 2>/dev/null
check "a one-byte change fails verification" \
    bash -c '! osslsigncode verify -CAfile ca.pem -in tampered.exe >/dev/null 2>&1'

# A key and certificate in PEM work as well.
KELTO_SIGN_KEY=signer.key KELTO_SIGN_CERT=signer.pem "$sign" "$helper" signed-pem.exe
check "PEM key and certificate sign too" bash -c 'osslsigncode verify -CAfile ca.pem -in signed-pem.exe >/dev/null 2>&1'

refused "a wrong password" "wrong password" KELTO_SIGN_PKCS12=signer.p12 KELTO_SIGN_PASSWORD_FILE=wrong.txt
refused "a certificate without the code-signing use" "not for code signing" KELTO_SIGN_KEY=web.key KELTO_SIGN_CERT=web.pem
refused "an expired certificate" "expired" KELTO_SIGN_KEY=old.key KELTO_SIGN_CERT=old.pem
refused "no key at all" "no key given"

[ "$failures" -eq 0 ] || { echo "signing: $failures check(s) failed"; exit 1; }
echo "signing: all checks passed"
