#!/usr/bin/env bash
# Builds KeltoClientHelper.exe and runs it under Wine, with an optional command line,
# e.g.  scripts/run.sh                       (the main window)
#       scripts/run.sh kelto:ipconfig/sid/abc   (a kelto: URL, as a link would hand it over)
# With a display ($DISPLAY set) the program runs on it until you close it. Without one it
# runs on a virtual display and saves a screenshot of what it showed to
# build/screenshot.png, then ends the program.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup-debian.sh
source scripts/wine-prefix.sh
# The helper is a 32-bit program. Where this machine cannot run Wine's 32-bit side, the same
# sources built for x86-64 (the tests' bench, preset win64) run instead, and the prefix is
# one of Wine's 64-bit side alone.
preset=win32
prefix_name=run-prefix
if ! kelto_can_run_32bit_wine 2>/dev/null; then
    echo "This machine runs no 32-bit x86 programs: running the x86-64 build of the same sources (the test bench)."
    preset=win64
    prefix_name=run-prefix-win64
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target KeltoClientHelper
kelto_wine_for "build/$preset/KeltoClientHelper.exe"

export WINEPREFIX="$root/build/$prefix_name"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing a Wine prefix in build/$prefix_name (once)..."
    kelto_make_wine_prefix "$WINEPREFIX"
fi
install_dir="$WINEPREFIX/drive_c/Program Files/Kelto"
mkdir -p "$install_dir"
cp "build/$preset/KeltoClientHelper.exe" "$install_dir/"
exe='C:\Program Files\Kelto\KeltoClientHelper.exe'

if [ -n "${DISPLAY:-}" ]; then
    wine "$exe" "$@"
    wineserver -w
    exit 0
fi

# No display: a virtual one, and a screenshot once the program's first window is up.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
wine "$exe" "$@" &
program=$!
shown=""
for _ in $(seq 150); do
    if xwininfo -root -children 2>/dev/null | grep -q '"Kelto\|"KeltoClientHelper\|": ("'; then
        shown=yes
        break
    fi
    if ! kill -0 "$program" 2>/dev/null; then break; fi
    sleep 0.2
done
sleep 1  # let the window finish painting
import -window root build/screenshot.png
echo "Screenshot of what the helper showed: build/screenshot.png${shown:+}"
echo "Log: $install_dir/KeltoClientHelper.log"
tail -n 5 "$install_dir/KeltoClientHelper.log" 2>/dev/null || true
wineserver -k
