#!/usr/bin/env bash
# Checks the kit's file:   check-kit-executable.sh <kelto-acceptance.exe>
#  - `file` calls it a 32-bit console program for Intel 80386;
#  - it imports only Windows' own DLLs, so that it runs on a PC with nothing beside it but
#    the helper.
set -euo pipefail

exe=${1:?usage: check-kit-executable.sh <program.exe>}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

kind=$(file -b "$exe")
case "$kind" in
    "PE32 executable (console) Intel 80386"*) echo "ok: $kind" ;;
    *) fail "file says: $kind" ;;
esac

allowed_dlls=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll userenv.dll ws2_32.dll wintrust.dll crypt32.dll "
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
if [ -z "$imports" ]; then fail "no import table found"; fi
for dll in $imports; do
    if [[ "$allowed_dlls" == *" $dll "* ]]; then
        echo "ok: imports $dll"
    else
        fail "imports $dll: not one of Windows' own DLLs the kit may use:$allowed_dlls"
    fi
done

if [ $status -eq 0 ]; then echo "kit executable checks passed"; fi
exit $status
