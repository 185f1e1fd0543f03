#!/usr/bin/env bash
# Checks the shipped file itself:   check-executable.sh <KeltoClientHelper.exe>
#  - `file` calls it a 32-bit GUI program for Intel 80386;
#  - it imports only Windows' own DLLs (no runtime DLL of the compiler to ship beside it);
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

# DLLs that come with every Windows this program supports.
system_dlls=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dwmapi.dll gdi32.dll
  imm32.dll iphlpapi.dll kernel32.dll msvcrt.dll netapi32.dll ntdll.dll ole32.dll oleaut32.dll
  powrprof.dll rpcrt4.dll secur32.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll
  user32.dll userenv.dll uxtheme.dll version.dll winhttp.dll wininet.dll winmm.dll ws2_32.dll
  wtsapi32.dll "
system_dlls=" $(tr -s '[:space:]' ' ' <<<"$system_dlls") "
dump=$("$objdump" -p "$exe")
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
if [ -z "$imports" ]; then fail "no import table found"; fi
for dll in $imports; do
    if [[ "$system_dlls" == *" $dll "* || "$dll" == api-ms-win-* ]]; then
        echo "ok: imports $dll"
    else
        fail "imports $dll, which is not part of Windows"
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
