#!/usr/bin/env bash
# Checks the shipped file itself:   check-executable.sh <KeltoClientHelper.exe>
#  - `file` calls it a 32-bit GUI program for Intel 80386;
#  - it imports only Windows' own DLLs (no runtime DLL of the compiler to ship beside it), and
#    of those only the ones every start needs;
#  - it holds exactly one application manifest (resource type 24).
set -euo pipefail

exe=${1:?usage: check-executable.sh <program.exe>}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

kind=$(file -b "$exe")
case "$kind" in
    "PE32 executable (GUI) Intel 80386"*) echo "ok: $kind" ;;
    *) fail "file says: $kind" ;;
esac

# The DLLs the program imports: Windows' own, and only those a start that ends in a message
# box needs. Every other system DLL (the shell, COM, WinHTTP, the common controls) is loaded
# on first use through SystemFunction (src/platform/win32/win32_util.h): imported, it would
# be loaded at every start.
allowed_dlls=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll "
dump=$("$objdump" -p "$exe")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
if [ -z "$imports" ]; then fail "no import table found"; fi
for dll in $imports; do
    if [[ "$allowed_dlls" == *" $dll "* ]]; then
        echo "ok: imports $dll"
    else
        fail "imports $dll: not one of$allowed_dlls(load it on first use instead)"
    fi
done

# The resource tree as objdump prints it: type entries are indented by three blanks after
# the offset, name entries by five, language entries (the resources themselves) by seven.
manifests=$(awk '
    /^[0-9a-f]+   Entry: ID: / { type = $4 }
    /^[0-9a-f]+       Entry: ID: / { if (type == "0x000018,") n++ }
    END { print n + 0 }' <<<"$dump")
if [ "$manifests" = 1 ]; then
    echo "ok: one manifest"
else
    fail "$manifests manifests (RT_MANIFEST resources)"
fi

if [ $status -eq 0 ]; then echo "executable checks passed"; fi
exit $status
