#!/usr/bin/env bash
# Runs the x86-64 end-to-end test program against the shipped 32-bit helper of another build,
# in a prefix with Wine's 32-bit side, where 32-bit programs may run only under an emulator:
#
#   run-shipped-helper.sh <shipped build> <kelto_e2e_tests.exe> [arguments...]
#
# The helper and the 32-bit stand-in (for syswow64) come from the shipped build, everything
# else from the test program's own; the prefix template is the shipped build's, shared with its
# unit tests. Exits 77 (skipped) when the shipped build has no helper yet.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 <shipped build> <kelto_e2e_tests.exe> [arguments...]" >&2
    exit 2
fi
shipped=$1
shift
helper="$shipped/KeltoClientHelper.exe"
if [ ! -f "$helper" ]; then
    echo "run-shipped-helper: $helper is not built (build the win32 preset first)" >&2
    exit 77
fi

export KELTO_WINE_WITH_32BIT=1
export KELTO_WINE_WORK="$shipped/wine"
export KELTO_WINE_STANDIN_32="$shipped/tests/e2e/kelto_standin.exe"
exec "$(dirname "$0")/run-in-wine.sh" "$@" --helper="$helper"
