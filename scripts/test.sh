#!/usr/bin/env bash
# Builds both presets and the fuzz targets from this checkout and runs every test: unit
# tests on Linux, the same unit tests and the end-to-end suite under Wine, and a bounded
# fuzz pass. Installs what it needs first (Debian 12, as root).
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-debian.sh || exit 1

jobs=$(nproc 2>/dev/null || echo 2)
passed=0
failed=0
skipped=0
status=0

run_preset() {
    local preset=$1
    echo "=== ${preset}: configure and build"
    local log; log=$(mktemp)
    if ! cmake --preset "$preset" >"$log" 2>&1; then
        cat "$log"; rm -f "$log"
        echo "=== ${preset}: configure FAILED"; failed=$((failed + 1)); status=1; return
    fi
    rm -f "$log"
    if ! cmake --build --preset "$preset" -j "$jobs"; then
        echo "=== ${preset}: build FAILED"; failed=$((failed + 1)); status=1; return
    fi
    echo "=== ${preset}: tests"
    local out
    out=$(mktemp)
    ctest --preset "$preset" -j "$jobs" --timeout 1200 2>&1 | tee "$out"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$out" | tail -n 1)
    if [ -n "$line" ]; then
        local f t
        f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
        # A test that could not run on this machine is skipped, never counted as passed.
        local s
        s=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)' "$out")
        passed=$((passed + t - f - s))
        failed=$((failed + f))
        skipped=$((skipped + s))
    elif [ "$rc" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    [ "$rc" -eq 0 ] || status=1
    rm -f "$out"
}

run_preset host
# The Windows programs run under Wine. The 32-bit helper needs Wine's 32-bit side, and so a
# kernel that runs 32-bit x86 programs; where it cannot, those tests report themselves
# skipped, and the same sources built for x86-64 run the same tests under Wine's 64-bit side.
if ( source scripts/wine-prefix.sh; kelto_can_run_32bit_wine ); then
    run_preset win32
else
    echo "=== win32: the tests under Wine will be skipped; the x86-64 test bench runs them"
    run_preset win32
    run_preset win64
fi
run_preset fuzz

echo
if [ "$skipped" -gt 0 ]; then
    echo "Skipped: the tests that run the 32-bit Windows programs under Wine (see above why they could not run here)."
    echo "total: ${passed} passed, ${failed} failed, ${skipped} skipped"
else
    echo "total: ${passed} passed, ${failed} failed"
fi
exit $status
