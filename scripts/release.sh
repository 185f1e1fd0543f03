#!/usr/bin/env bash
# Makes a release of the commit checked out here, into dist/:
#   KeltoClientHelper.exe (32-bit), kelto-acceptance.exe, kelto-token.exe (Windows), kelto-token
#   (Linux), SHA256SUMS and RELEASE.txt.
#
#   scripts/release.sh            signs with the key the environment names (see scripts/sign.sh)
#   scripts/release.sh --unsigned a release without signatures, said so in RELEASE.txt
#
# It refuses a checkout with changes, runs the whole test command first (the shipped build's
# tests among them) and writes no dist/ when anything fails. The build is reproducible: the
# same commit gives the same unsigned bytes anywhere (see the README, "Making a release").
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

fail() {
    echo "release: $*" >&2
    exit 1
}

unsigned=false
case "${1:-}" in
    "") ;;
    --unsigned) unsigned=true ;;
    *) fail "usage: scripts/release.sh [--unsigned]" ;;
esac
if ! $unsigned && [ -z "${KELTO_SIGN_PKCS12:-}" ] && { [ -z "${KELTO_SIGN_KEY:-}" ] || [ -z "${KELTO_SIGN_CERT:-}" ]; }; then
    fail "no signing key given (KELTO_SIGN_PKCS12, or KELTO_SIGN_KEY and KELTO_SIGN_CERT); --unsigned for a release without signatures"
fi
git rev-parse --git-dir >/dev/null 2>&1 || fail "not a git checkout"
[ -z "$(git status --porcelain --untracked-files=normal)" ] || fail "the checkout has changes: a release is made from a commit as it is"
commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)

# Everything builds and every test passes, or there is no release.
bash scripts/test.sh || fail "the tests failed: no release"

version=$(sed -n 's/^project(KeltoClientHelper VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$(mktemp -d "$repo/dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
files=(
    "build/win32/KeltoClientHelper.exe:KeltoClientHelper.exe"
    "build/win32/kelto-acceptance.exe:kelto-acceptance.exe"
    "build/win32/tools/kelto-token/kelto-token.exe:kelto-token.exe"
    "build/host/tools/kelto-token/kelto-token:kelto-token"
)
signed_lines=()
for pair in "${files[@]}"; do
    from=${pair%%:*}
    name=${pair#*:}
    [ -f "$from" ] || fail "$from was not built"
    if [[ "$name" == *.exe ]] && ! $unsigned; then
        line=$(scripts/sign.sh "$from" "$stage/$name") || fail "$name could not be signed: no release"
        signed_lines+=("$name: ${line#*(}")
    else
        cp "$from" "$stage/$name"
    fi
done
(cd "$stage" && sha256sum KeltoClientHelper.exe kelto-acceptance.exe kelto-token.exe kelto-token >SHA256SUMS)

{
    echo "KeltoClientHelper $version"
    echo "commit: $commit"
    echo "source date (SOURCE_DATE_EPOCH): $SOURCE_DATE_EPOCH ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
    if $unsigned; then
        echo "signed: nothing (made with --unsigned)"
    else
        echo "signed (Authenticode, SHA-256${KELTO_SIGN_TIMESTAMP_URL:+, time-stamped}):"
        for line in "${signed_lines[@]}"; do echo "  ${line%)}"; done
    fi
    echo "tool chain:"
    echo "  $(i686-w64-mingw32-g++-posix --version | head -1)"
    echo "  $(i686-w64-mingw32-ld --version | head -1)"
    echo "  $(g++ --version | head -1)"
    echo "  $(cmake --version | head -1)"
    echo "  osslsigncode $(osslsigncode --version 2>&1 | head -1 | awk '{print $2}' | tr -d ,)"
    echo "unsigned builds are reproducible: the same commit gives the same bytes (README, \"Making a release\")"
} >"$stage/RELEASE.txt"

rm -rf dist
mv "$stage" dist
trap - EXIT
echo "release: dist/ written"
ls -l dist
