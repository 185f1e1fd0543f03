#!/usr/bin/env bash
# Start-up benchmark: the time from process start to the first dialog on screen, for
# KeltoClientHelper.exe started with "kelto:" (its invalid-action box) against a minimal
# Win32 program that shows one message box. Both run under Wine in one throwaway prefix,
# alternating over several runs, and are detected the same way (the end-to-end suite's
# driver). Reports the ratio of the medians, the size of the executable and its imported
# DLLs.
#   bench/startup-bench.sh [build directory of the win32 preset] [runs]
# Goals: at most 1.05 x the yardstick with the common-controls 6 manifest, at most 1.2 x the one
# without a manifest, at most 600 KB without the cable guide's picture.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/win32}")
runs=${2:-41}

cmake --build "$build" --target KeltoClientHelper kelto_minimal_msgbox kelto_minimal_msgbox_themed \
    kelto_startup_probe kelto_helper_without_picture >/dev/null

helper="$build/KeltoClientHelper.exe"
minimal="$build/bench-win32/kelto_minimal_msgbox.exe"
themed="$build/bench-win32/kelto_minimal_msgbox_themed.exe"
probe="$build/bench-win32/kelto_startup_probe.exe"

# Both programs from one scratch folder, so that they start on equal footing and the
# helper's log does not land in the build tree.
scratch=$(mktemp -d "$build/bench-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$helper" "$minimal" "$themed" "$scratch/"
winpath() { echo "Z:${1//\//\\}"; }
line_a="\"$(winpath "$scratch/KeltoClientHelper.exe")\" kelto:"
line_b="\"$(winpath "$scratch/kelto_minimal_msgbox_themed.exe")\""
line_c="\"$(winpath "$scratch/kelto_minimal_msgbox.exe")\""

echo "== time to first dialog, $runs runs each, in turn (A = helper, B = minimal with the common-controls 6"
echo "   manifest, C = minimal without a manifest)"
output=$(tests/e2e/run-in-wine.sh "$probe" "$runs" "$line_a" "$line_b" "$line_c")
echo "$output"

size=$(stat -c %s "$helper")
echo "== KeltoClientHelper.exe"
echo "size: $size bytes ($(( (size + 1023) / 1024 )) KB; goal under 600 KB)"
# The cable guide's picture (bitmap 101, an uncompressed 900 x 494 BMP) is most of it: the
# same objects linked without it show what the rest weighs.
without_picture="$build/tests/e2e/kelto_helper_without_picture.exe"
if [ -f "$without_picture" ]; then
    rest=$(stat -c %s "$without_picture")
    echo "size without bitmap 101: $rest bytes ($(( (rest + 1023) / 1024 )) KB)"
fi
objdump=i686-w64-mingw32-objdump
# The x86-64 test bench's build (preset win64) is read by its own objdump.
if [ "$(source scripts/wine-prefix.sh && kelto_pe_machine "$helper")" = x86-64 ]; then objdump=x86_64-w64-mingw32-objdump; fi
echo "imported DLLs: $("$objdump" -p "$helper" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | tr '\n' ' ')"
echo "ratio of medians against the themed yardstick: $(sed -n 's/^ratio A\/B //p' <<<"$output") (goal at most 1.05)"
echo "ratio of medians against the plain yardstick: $(sed -n 's/^ratio A\/C //p' <<<"$output") (goal at most 1.2)"
echo "per-run ratios (median): $(sed -n 's/^paired A\/B //p' <<<"$output") against the themed, $(sed -n 's/^paired A\/C //p' <<<"$output") against the plain"
