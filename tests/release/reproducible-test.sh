#!/usr/bin/env bash
# The shipped helper builds bit for bit the same from another folder at another time: the
# source tree is copied elsewhere, configured and built there with the same preset, and the
# executable compared byte for byte with this build's. A difference fails, naming the first
# differing byte and the PE section (or header) it lies in.
#   reproducible-test.sh <source folder> <KeltoClientHelper.exe of this build>
set -euo pipefail
source=$(realpath "$1")
built=$(realpath "$2")
work=$(mktemp -d /tmp/kelto-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Everything but the build folders, into a folder of another name and length.
mkdir -p "$work/another-checkout"
tar -C "$source" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$work/another-checkout" -xf -
cd "$work/another-checkout"
cmake --preset win32 >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cmake --build --preset win32 --target KeltoClientHelper >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
again=$work/another-checkout/build/win32/KeltoClientHelper.exe

echo "this build:    $(sha256sum <"$built" | cut -d' ' -f1)  $built"
echo "another build: $(sha256sum <"$again" | cut -d' ' -f1)  (from $work/another-checkout)"
if cmp -s "$built" "$again"; then
    echo "reproducible: the two executables are identical"
    exit 0
fi
first=$(cmp "$built" "$again" | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
offset=$((first - 1))
# The section whose file range holds the offset (objdump -h: index, name, size, VMA, LMA, file
# offset).
where=""
while read -r index name size _ _ start _; do
    [[ "$index" =~ ^[0-9]+$ ]] || continue
    if [ "$offset" -ge $((16#$start)) ] && [ "$offset" -lt $((16#$start + 16#$size)) ]; then
        where=$name
        break
    fi
done < <(i686-w64-mingw32-objdump -h "$built")
echo "NOT reproducible: first difference at file offset $offset, in ${where:-the PE headers}"
exit 1
