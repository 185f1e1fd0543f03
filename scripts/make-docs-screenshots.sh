#!/usr/bin/env bash
# Makes the README's pictures of what the customer sees from the screenshots the end-to-end
# suite keeps (run the suite first; rerun both when one of these windows changes):
#   make-docs-screenshots.sh [artifacts folder]      (default: build/win32/e2e-artifacts)
# Each shot becomes docs/<name>.png, a 256-colour PNG without metadata: small, and unchanged
# by a rerun where the window did not change (the offline window shows the run's token and time).
# Needs ImageMagick (Debian: imagemagick).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
artifacts=${1:-$repo/build/win32/e2e-artifacts}
docs=$repo/docs

# Shot name in the artifacts folder, then the picture's name under docs/.
pictures=(
    main-window-active:main-window
    token-prompt:token-prompt
    consent:consent
    cable-guide:cable-guide
    offline-token-valid:offline-window
    rescue-vm-status-downloading:rescue-vm-status
)

if [ ! -f "$artifacts/index.tsv" ]; then
    echo "make-docs-screenshots: no $artifacts/index.tsv; run the end-to-end suite first" >&2
    exit 1
fi
mkdir -p "$docs"
for pair in "${pictures[@]}"; do
    shot=${pair%%:*}
    picture=${pair#*:}
    if [ ! -f "$artifacts/$shot.bmp" ]; then
        echo "make-docs-screenshots: $shot.bmp is missing from $artifacts" >&2
        exit 1
    fi
    taken_by=$(awk -F '\t' -v name="$shot" '$1 == name { test = $2 } END { print test }' "$artifacts/index.tsv")
    convert "$artifacts/$shot.bmp" -strip -dither None -colors 256 "PNG8:$docs/$picture.png"
    printf '%-24s %6d bytes  (%s, taken by %s)\n' "docs/$picture.png" "$(stat -c %s "$docs/$picture.png")" \
        "$shot" "${taken_by:-an unknown test}"
done
