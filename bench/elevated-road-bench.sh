#!/usr/bin/env bash
# Elevated-road benchmark: the time from the customer's last answer to the started program.
# KeltoClientHelper.exe handles "kelto:ipconfig/sid/s-42" in an authorized session (consent
# answered Yes, then the timed No at the restore question); the first instance relaunches
# itself through "runas" and the elevated instance starts the command window. The yardstick
# does the same visible job in the least code: one Yes/No box, "runas" on itself, and the
# command window through the shell. Both run under Wine with an X display in one throwaway
# prefix, taken in turn round by round; the command processor is the end-to-end suite's
# recording stand-in, and the road ends at its first write.
# Each box stays on screen for a reading pause before its click (KELTO_BENCH_PAUSE_MS, 300 ms
# by default), as it does for a person: no one answers within milliseconds of a box.
#   bench/elevated-road-bench.sh [build directory of the win32 preset] [rounds]
# Goal: at most 1.1 x the yardstick.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/win32}")
rounds=${2:-31}
pause=${KELTO_BENCH_PAUSE_MS:-300}

cmake --build "$build" --target KeltoClientHelper kelto_minimal_elevated_road kelto_elevated_road_probe \
    kelto_standin >/dev/null

probe="$build/bench-win32/kelto_elevated_road_probe.exe"
# Both programs from one scratch folder (the helper's log lands there, not in the build tree).
scratch=$(mktemp -d "$build/bench-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$build/KeltoClientHelper.exe" "$build/bench-win32/kelto_minimal_elevated_road.exe" "$scratch/"
winpath() { echo "Z:${1//\//\\}"; }
line_a="\"$(winpath "$scratch/KeltoClientHelper.exe")\" \"kelto:ipconfig/sid/s-42\""
line_b="\"$(winpath "$scratch/kelto_minimal_elevated_road.exe")\""

echo "== from the last click to the started command window, $rounds rounds, in turn, $pause ms before each click"
echo "   (A = helper: consent Yes, restore question No; B = yardstick: its box answered No)"
output=$(KELTO_WINE_DISPLAY="${KELTO_WINE_DISPLAY:-xvfb}" tests/e2e/run-in-wine.sh "$probe" --session=s-42 \
    --pause="$pause" "$rounds" "$(winpath "$scratch/launches.txt")" yn "$line_a" n "$line_b")
echo "$output"
echo "ratio of medians against the yardstick: $(sed -n 's/^ratio A\/B //p' <<<"$output") (goal at most 1.1)"
echo "per-round ratios (median): $(sed -n 's/^paired A\/B //p' <<<"$output")"
