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
        passed=$((passed + t - f))
        failed=$((failed + f))
    elif [ "$rc" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    [ "$rc" -eq 0 ] || status=1
    rm -f "$out"
}

run_preset host
run_preset win32
run_preset fuzz

echo
echo "total: ${passed} passed, ${failed} failed"
exit $status
