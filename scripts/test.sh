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

build_preset() {
    local preset=$1
    echo "=== ${preset}: configure and build"
    local log; log=$(mktemp)
    if ! cmake --preset "$preset" >"$log" 2>&1; then
        cat "$log"; rm -f "$log"
        echo "=== ${preset}: configure FAILED"; failed=$((failed + 1)); status=1; return 1
    fi
    rm -f "$log"
    if ! cmake --build --preset "$preset" -j "$jobs"; then
        echo "=== ${preset}: build FAILED"; failed=$((failed + 1)); status=1; return 1
    fi
}

# test_preset <preset> [ctest arguments...]: runs (some of) a built preset's tests and adds
# them to the counts.
test_preset() {
    local preset=$1
    shift
    echo "=== ${preset}: tests $*"
    local out
    out=$(mktemp)
    ctest --preset "$preset" -j "$jobs" --timeout 1200 "$@" 2>&1 | tee "$out"
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
    elif ! grep -q 'No tests were found' "$out" && [ "$rc" -ne 0 ]; then
        failed=$((failed + 1))
    fi
    [ "$rc" -eq 0 ] || status=1
    rm -f "$out"
}

run_preset() {
    build_preset "$1" && test_preset "$@"
}

# Under user-mode emulation Wine's 32-bit side now and then waits for ever on a wake-up that
# the emulator handed to another thread of the process (never seen where 32-bit programs run
# natively): an emulated test that runs out of time is run again, up to twice more, and each
# time-out stays in the output. A fault of the program fails every run.
emulated_retries=(--repeat after-timeout:3)

run_preset host
# The Windows programs run under Wine. The shipped helper is a 32-bit program and needs Wine's
# 32-bit side, and so 32-bit x86 Linux programs. Where the kernel runs them, the whole 32-bit
# suite runs. Where it refuses them, they run under user-mode emulation (qemu-i386-static, in a
# namespace of the test's own: scripts/with-i386-emulation.sh), slowly: the 32-bit unit tests
# run there, and the x86-64 test bench runs the whole suite and drives the shipped 32-bit
# helper through a chosen set of end-to-end cases (shipped_helper.*). Where neither works,
# the 32-bit tests report themselves skipped and the bench runs alone.
if ( source scripts/wine-prefix.sh; kelto_can_run_32bit_wine 2>/dev/null ); then
    builds="32-bit programs run natively here: every Windows test ran on the shipped 32-bit build (win32)."
    run_preset win32
else
    if bash scripts/with-i386-emulation.sh true; then
        builds="This kernel runs no 32-bit programs; they ran under user-mode emulation. On the shipped 32-bit build (win32): its unit tests under Wine and the shipped_helper.* end-to-end cases; on the x86-64 test bench (win64): the unit tests, the whole end-to-end suite, the acceptance kit and the kelto-token check. The 32-bit end-to-end suite, the Hebrew code-page run, the kit and the kelto-token check of the 32-bit build are the skipped ones."
        echo "=== win32: 32-bit programs run here only under user-mode emulation: the shipped build's unit tests and a chosen set of end-to-end cases run on it, the rest on the x86-64 test bench"
    else
        builds="This kernel runs no 32-bit programs and cannot emulate them: every test of the shipped 32-bit build is skipped (see above why); the x86-64 test bench (win64) ran the Windows tests."
        echo "=== win32: the tests under Wine will be skipped; the x86-64 test bench runs them"
    fi
    if build_preset win32; then
        # Only the unit tests of the 32-bit build run here (emulated); the rest skip themselves.
        # The second run keeps what the first kept in e2e-artifacts (-FS: no emptying again).
        test_preset win32 -R '^unit_under_wine' "${emulated_retries[@]}"
        test_preset win32 -E '^(unit_under_wine|wine_prefix_template|e2e_artifacts_emptied)' -FS e2e_artifacts
    fi
    if build_preset win64; then
        test_preset win64 -E '^shipped_helper'
        test_preset win64 -R '^shipped_helper' -FS e2e_artifacts "${emulated_retries[@]}"
    fi
fi
run_preset fuzz

echo
echo "Builds: ${builds}"
if [ "$skipped" -gt 0 ]; then
    echo "total: ${passed} passed, ${failed} failed, ${skipped} skipped"
else
    echo "total: ${passed} passed, ${failed} failed"
fi
exit $status
