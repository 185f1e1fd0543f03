#!/usr/bin/env bash
# Signs a Windows executable with Authenticode (SHA-256) through osslsigncode:
#
#   sign.sh <unsigned.exe> <signed.exe>
#
# The key is never named on the command line and never printed; it comes from the environment:
#   KELTO_SIGN_PKCS12          a PKCS#12 file (key and certificate chain), with
#   KELTO_SIGN_PASSWORD_FILE   a file holding its password (optional for a file without one)
# or
#   KELTO_SIGN_KEY, KELTO_SIGN_CERT   a PEM key (unencrypted, or with KELTO_SIGN_PASSWORD_FILE)
#                                     and its certificate chain, the signer's first
# and, when a time-stamp server is to countersign (RFC 3161):
#   KELTO_SIGN_TIMESTAMP_URL
# Before signing, the signer's certificate must carry the code-signing use and be valid now.
# Any problem is one line on stderr and exit 1, and <signed.exe> is not written: no unsigned
# file ever stands under the signed name.
set -euo pipefail

fail() {
    echo "sign: $*" >&2
    exit 1
}

[ $# -eq 2 ] || fail "usage: sign.sh <unsigned.exe> <signed.exe>"
in=$1
out=$2
[ -f "$in" ] || fail "no file to sign: $in"
command -v osslsigncode >/dev/null || fail "osslsigncode is not installed (Debian: osslsigncode)"
command -v openssl >/dev/null || fail "openssl is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$out"

password_args=()
if [ -n "${KELTO_SIGN_PASSWORD_FILE:-}" ]; then
    [ -r "$KELTO_SIGN_PASSWORD_FILE" ] || fail "the password file cannot be read"
    password_args=(-readpass "$KELTO_SIGN_PASSWORD_FILE")
fi

# The signer's certificate, in PEM, to look at before anything is signed.
signer="$work/signer.pem"
if [ -n "${KELTO_SIGN_PKCS12:-}" ]; then
    [ -r "$KELTO_SIGN_PKCS12" ] || fail "the PKCS#12 file cannot be read"
    pass_in=(-passin pass:)
    [ -n "${KELTO_SIGN_PASSWORD_FILE:-}" ] && pass_in=(-passin "file:$KELTO_SIGN_PASSWORD_FILE")
    openssl pkcs12 -in "$KELTO_SIGN_PKCS12" "${pass_in[@]}" -clcerts -nokeys -out "$signer" 2>/dev/null ||
        fail "the PKCS#12 file cannot be opened: wrong password, or not a PKCS#12 file"
    key_args=(-pkcs12 "$KELTO_SIGN_PKCS12")
elif [ -n "${KELTO_SIGN_KEY:-}" ] && [ -n "${KELTO_SIGN_CERT:-}" ]; then
    [ -r "$KELTO_SIGN_KEY" ] || fail "the key file cannot be read"
    [ -r "$KELTO_SIGN_CERT" ] || fail "the certificate file cannot be read"
    openssl x509 -in "$KELTO_SIGN_CERT" -out "$signer" 2>/dev/null || fail "the certificate file holds no certificate"
    key_args=(-certs "$KELTO_SIGN_CERT" -key "$KELTO_SIGN_KEY")
else
    fail "no key given: set KELTO_SIGN_PKCS12, or KELTO_SIGN_KEY and KELTO_SIGN_CERT"
fi

openssl x509 -in "$signer" -noout -checkend 0 >/dev/null 2>&1 || fail "the signing certificate has expired"
openssl x509 -in "$signer" -noout -ext extendedKeyUsage 2>/dev/null | grep -q "Code Signing" ||
    fail "the signing certificate is not for code signing (extended key usage codeSigning is missing)"

timestamp_args=()
[ -n "${KELTO_SIGN_TIMESTAMP_URL:-}" ] && timestamp_args=(-ts "$KELTO_SIGN_TIMESTAMP_URL")

# Signed into the work folder first: only a file that was signed is ever moved to its name.
if ! osslsigncode sign "${key_args[@]}" "${password_args[@]}" -h sha256 \
    -n "Kelto Remote Client Support Tool" "${timestamp_args[@]}" \
    -in "$in" -out "$work/signed.exe" >"$work/osslsigncode.log" 2>&1; then
    if [ ${#timestamp_args[@]} -gt 0 ] && grep -qi "timestamp\|time-stamp\|curl" "$work/osslsigncode.log"; then
        fail "the time-stamp server did not answer: $KELTO_SIGN_TIMESTAMP_URL"
    fi
    fail "osslsigncode could not sign (a wrong key or password?)"
fi
mv "$work/signed.exe" "$out"
echo "signed: $out ($(openssl x509 -in "$signer" -noout -subject | sed 's/^subject=//'))"
