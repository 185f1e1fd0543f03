#!/usr/bin/env bash
# Runs one Windows program under Wine in a private, throwaway prefix and exits with its exit
# code:   run-in-wine.sh <program.exe> [arguments...]
#         run-in-wine.sh --prepare <program.exe>   (only the template prefix below)
#
# A template prefix is prepared once per build directory (guarded by a lock, so parallel
# test entries do not collide) and copied for every run; the copy, its wineserver and, if
# one was started, its X server are removed afterwards.
#
# Environment:
#   KELTO_WINE_DISPLAY=null   (default) Wine's null graphics driver: windows, dialogs and
#                             driving them all work, but nothing is drawn.
#   KELTO_WINE_DISPLAY=xvfb   a private Xvfb server and Wine's X11 driver, for pixels.
#   KELTO_WINE_TZ             time zone of the run (default Asia/Jerusalem: not UTC, so local
#                             and UTC clocks differ visibly).
#   KELTO_WINE_KEEP=1         keep the run's prefix for inspection (its path is printed).
#   KELTO_WINEDEBUG           WINEDEBUG for the run (default -all).
#   KELTO_WINE_WORK           the folder of the template prefix and the runs (default: wine/
#                             in the build directory); runs of two builds can share one.
#   KELTO_WINE_WITH_32BIT=1   a 64-bit program that starts 32-bit programs: its prefix has
#                             Wine's 32-bit side (made under emulation where need be).
#   KELTO_WINE_STANDIN_32     a 32-bit stand-in for syswow64 (default: the build's own).
#   KELTO_WINE_NATIVE_ONLY=1  a 32-bit program that is skipped where 32-bit programs would
#                             run only under an emulator (KELTO_WINE_NATIVE_ONLY_WHY: why).
#   KELTO_WINE_LOCALE         LC_ALL for Wine, from which it takes the Windows locale and ANSI
#                             code page (default C.UTF-8: code page 1252; he_IL.UTF-8: 1255).
set -euo pipefail

prepare_only=()
if [ "${1:-}" = --prepare ]; then
    prepare_only=(--prepare)
    shift
fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--prepare] <program.exe> [arguments...]" >&2
    exit 2
fi
program=$(realpath "$1")
shift

# The build directory: the nearest folder above the program that holds a CMakeCache.txt.
build_root=$(dirname "$program")
while [ "$build_root" != "/" ] && [ ! -f "$build_root/CMakeCache.txt" ]; do
    build_root=$(dirname "$build_root")
done
if [ "$build_root" = "/" ]; then build_root=$(dirname "$program"); fi

work="${KELTO_WINE_WORK:-$build_root/wine}"
mkdir -p "$work"

# Programs the tests observe: each is replaced in the run's prefix by the stand-in, which
# records its own path, working folder and command line and exits 0. Wine lacks some of them
# (mmc.exe). shutdown.exe is there so that a restart the helper asks for is recorded, not
# performed; besides the catalogue's programs, those a hostile command line could name.
# msconfig.exe stays absent: the catalogue's Windows tests place and remove it themselves.
observed_programs=(cmd.exe mmc.exe taskmgr.exe control.exe shutdown.exe msinfo32.exe perfmon.exe resmon.exe
    cleanmgr.exe dxdiag.exe optionalfeatures.exe SystemPropertiesProtection.exe
    calc.exe notepad.exe mshta.exe rundll32.exe regsvr32.exe wscript.exe cscript.exe certutil.exe)
# Management consoles Wine lacks: empty files, so that the shell finds them and hands them
# to the .msc class (mmc.exe, a stand-in).
consoles=(certmgr compmgmt devmgmt diskmgmt eventvwr gpedit lusrmgr perfmon printmanagement secpol services
    taskschd wf)

# The prefix recipe shared with scripts/run.sh, and what the tests add to it: the null graphics
# driver (an Xvfb run switches to X11), no crash dialog, and the classes of the management
# consoles and settings pages, whose programs the stand-in replaces.
source "$(dirname "$0")/../../scripts/wine-prefix.sh"
# A 32-bit program needs Wine's 32-bit side, and so does a 64-bit one that starts 32-bit
# programs (KELTO_WINE_WITH_32BIT=1: the x86-64 test program driving the 32-bit helper). Where
# the kernel runs no 32-bit x86 programs, the run goes on inside a namespace where an emulator
# runs them (scripts/with-i386-emulation.sh), unless it is one that only runs natively
# (KELTO_WINE_NATIVE_ONLY=1: a whole 32-bit test program, far too slow when emulated).
with_32bit=0
if [ "$(kelto_pe_machine "$program")" = i386 ] || [ "${KELTO_WINE_WITH_32BIT:-0}" = 1 ]; then
    with_32bit=1
fi
if [ "$with_32bit" = 1 ] && [ "${KELTO_I386_EMULATED:-0}" != 1 ] && ! kelto_can_run_32bit_wine 2>/dev/null; then
    if [ "${KELTO_WINE_NATIVE_ONLY:-0}" = 1 ]; then
        echo "run-in-wine: this machine runs no 32-bit x86 programs, and this 32-bit test program runs only where they run natively (${KELTO_WINE_NATIVE_ONLY_WHY:-under an emulator it would not finish in time})" >&2
        exit "$KELTO_WINE_SKIP"
    fi
    exec "$(dirname "$0")/../../scripts/with-i386-emulation.sh" "$0" "${prepare_only[@]}" "$program" "$@"
fi
kelto_wine_for "$program" || { echo "run-in-wine: not run" >&2; exit "$KELTO_WINE_SKIP"; }
test_registry=$(cat <<'EOF'
[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="null"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Classes\.msc]
@="MSCFile"

[HKEY_LOCAL_MACHINE\Software\Classes\MSCFile\shell\open\command]
@="C:\\windows\\system32\\mmc.exe \"%1\""

[HKEY_LOCAL_MACHINE\Software\Classes\ms-settings]
@="URL:ms-settings"
"URL Protocol"=""

[HKEY_LOCAL_MACHINE\Software\Classes\ms-settings\shell\open\command]
@="C:\\windows\\system32\\SystemSettings.exe \"%1\""
EOF
)
# Wine runs its own builtin program for a name in its 64-bit system folder unless the name is
# overridden "native": then the stand-in placed there runs.
test_registry+=$'\n\n[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\n'
test_registry+=$(printf '"%s"="native"\n' "${observed_programs[@]}")

# Rebuild the template when the recipe, this script or Wine changed. A 64-bit program's prefix
# made without Wine's 32-bit side lacks it; one that starts 32-bit programs has its own.
stamp=$(kelto_wine_prefix_stamp "$0")
template="$work/template"
if [ "$with_32bit" = 1 ]; then
    template="$work/template-with-32bit"
    stamp+=" with the 32-bit side"
fi

(
    flock 9
    if [ ! -f "$template/.kelto-stamp" ] || [ "$(cat "$template/.kelto-stamp")" != "$stamp" ]; then
        kelto_make_wine_prefix "$template.new" "$test_registry"
        rm -rf "$template"
        mv "$template.new" "$template"
        echo "$stamp" >"$template/.kelto-stamp"
    fi
) 9>"$work/template.lock"
# --prepare: only the template, for the runs that follow.
[ ${#prepare_only[@]} -eq 0 ] || exit 0

run_dir=$(mktemp -d "$work/run.XXXXXX")
prefix="$run_dir/prefix"
xvfb_pid=""
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    if [ "${KELTO_WINE_KEEP:-0}" = 1 ]; then
        echo "run-in-wine: prefix kept in $prefix" >&2
    else
        rm -rf "$run_dir"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp -a "$template" "$prefix"

# Stand-ins over the observed programs, in the system folder and, in a 64-bit prefix, in
# syswow64 (what a 32-bit process sees as System32) as well; remove first so that the copy
# never writes through into a file the template shares.
# KELTO_WINE_STANDIN_32 names a 32-bit stand-in for syswow64, as Windows has 32-bit programs
# there.
standin="$build_root/tests/e2e/kelto_standin.exe"
if [ -f "$standin" ]; then
    for name in "${observed_programs[@]}" SystemSettings.exe; do
        for folder in syswow64 system32; do
            [ -d "$prefix/drive_c/windows/$folder" ] || continue
            rm -f "$prefix/drive_c/windows/$folder/$name"
            if [ "$folder" = syswow64 ] && [ -n "${KELTO_WINE_STANDIN_32:-}" ]; then
                cp "$KELTO_WINE_STANDIN_32" "$prefix/drive_c/windows/$folder/$name"
            else
                cp "$standin" "$prefix/drive_c/windows/$folder/$name"
            fi
        done
    done
fi
for console in "${consoles[@]}"; do
    for folder in syswow64 system32; do
        [ -d "$prefix/drive_c/windows/$folder" ] || continue
        : >"$prefix/drive_c/windows/$folder/$console.msc"
    done
done

export WINEPREFIX="$prefix"
export WINEDEBUG="${KELTO_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export TZ="${KELTO_WINE_TZ:-Asia/Jerusalem}"
# By default a Western code page (1252): what the helper cannot represent in it becomes "?".
# Wine takes the code page from LC_ALL even where the locale is not generated on this system.
export LC_ALL="${KELTO_WINE_LOCALE:-C.UTF-8}"
unset LANGUAGE

case "${KELTO_WINE_DISPLAY:-null}" in
    null)
        unset DISPLAY
        ;;
    xvfb)
        # Xvfb picks a free display itself and reports it on a pipe: no race with parallel runs.
        fifo="$run_dir/display"
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
        xvfb_pid=$!
        read -r -t 20 display <"$fifo" || { echo "run-in-wine: Xvfb did not start" >&2; exit 1; }
        export DISPLAY=":$display"
        # The template uses the null driver; this run draws on the X server.
        sed -i 's/^"Graphics"="null"$/"Graphics"="x11"/' "$prefix/user.reg"
        ;;
    *)
        echo "run-in-wine: unknown KELTO_WINE_DISPLAY '${KELTO_WINE_DISPLAY}'" >&2
        exit 2
        ;;
esac

set +e
wine "$program" "$@"
rc=$?
set -e
exit $rc
