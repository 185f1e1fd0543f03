# The Wine prefix the helper runs in, prepared the same way for scripts/run.sh and for the
# tests (tests/e2e/run-in-wine.sh). Sourced, not run:
#
#   source scripts/wine-prefix.sh
#   kelto_make_wine_prefix <folder> [<registry text>]
#
# creates a new prefix in <folder> (removing what was there): Windows booted without the Mono
# and Gecko installers, Liberation Sans standing in for Arial (Arial's metrics, Hebrew glyphs),
# Wine's window manager decorations off (the helper's windows as Windows draws them). The
# optional registry text (REGEDIT4 sections, without the header) is imported on top, in both
# registry views. The prefix is complete when the function returns.

# Exit code of a test that could not run on this machine (ctest's SKIP_RETURN_CODE).
KELTO_WINE_SKIP=77

# Succeeds when this machine can run Wine's 32-bit side, which every 32-bit Windows program
# needs. Some kernels run no 32-bit x86 programs at all (their loader fails with "Exec format
# error"); on those, say so on stderr and fail.
kelto_can_run_32bit_wine() {
    local out
    out=$(wine --version 2>&1) && return 0
    case "$out" in
        *"Exec format error"*)
            echo "This machine's kernel cannot run 32-bit x86 programs (Wine's 32-bit loader: Exec format error): the 32-bit Windows programs cannot run here." >&2
            return 1 ;;
    esac
    echo "wine --version failed: $out" >&2
    return 1
}

# The processor a Windows program is built for: "x86-64", "i386", or nothing for a file that
# is not one (the machine field of its PE header).
kelto_pe_machine() {
    local file=$1 offset machine
    [ "$(head -c 2 "$file" 2>/dev/null)" = "MZ" ] || return 0
    offset=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
    [ -n "$offset" ] || return 0
    machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$file" | tr -d ' ')
    case "$machine" in
        8664) echo x86-64 ;;
        014c) echo i386 ;;
    esac
}

# Wine's 64-bit loader as `wine`, `wine-stable` (what wineboot runs) on PATH.
KELTO_WINE64_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/wine64" && pwd)

# Makes `wine` (and wineboot) in this shell able to run <program>, or fails saying why. A
# 64-bit program runs under Wine's 64-bit loader alone; a 32-bit one needs the 32-bit side.
kelto_wine_for() {
    if [ "$(kelto_pe_machine "$1")" = x86-64 ]; then
        case ":$PATH:" in
            *":$KELTO_WINE64_DIR:"*) ;;
            *) export PATH="$KELTO_WINE64_DIR:$PATH" ;;
        esac
        return 0
    fi
    kelto_can_run_32bit_wine
}

# Files whose change calls for a new prefix (with the version of Wine, see kelto_wine_prefix_stamp).
KELTO_WINE_PREFIX_SCRIPT=${BASH_SOURCE[0]}

kelto_make_wine_prefix() {
    local dir=$1 extra=${2:-}
    # wineboot and reg are 64-bit programs: the 64-bit loader runs them at once, where the
    # 32-bit one would first start its own side (under an emulator that alone takes a minute).
    # The prefix gets Wine's 32-bit side all the same wherever 32-bit programs can run.
    if [ -x "$KELTO_WINE64_DIR/wine" ] && [ -x /usr/lib/wine/wine64 ]; then
        local PATH="$KELTO_WINE64_DIR:$PATH"
    fi
    rm -rf "$dir"
    # No Mono or Gecko installer dialogs: nothing here needs them.
    WINEPREFIX="$dir" WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="" wineboot -i >/dev/null 2>&1
    mkdir -p "$dir/drive_c/windows/Fonts"
    cp /usr/share/fonts/truetype/liberation2/LiberationSans-*.ttf "$dir/drive_c/windows/Fonts/"
    local reg="$dir/drive_c/kelto-setup.reg"
    cat >"$reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Arial"="Liberation Sans"

$extra
REG
    # Both registry views: a 32-bit program reads HKLM\Software through the 32-bit one.
    local view
    for view in 64 32; do
        WINEPREFIX="$dir" DISPLAY="" wine reg import 'C:\kelto-setup.reg' "/reg:$view" >/dev/null 2>&1
    done
    rm -f "$reg"
    # The .reg files are complete only once the server has gone.
    WINEPREFIX="$dir" wineserver -w
}

# A line that changes when this recipe, the caller's own additions (its script, given as the
# argument) or Wine change: a prefix made under another stamp is out of date.
kelto_wine_prefix_stamp() {
    echo "$(cat "$KELTO_WINE_PREFIX_SCRIPT" "$1" | sha256sum | cut -d' ' -f1) $(wine --version 2>/dev/null)"
}
