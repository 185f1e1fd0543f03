#!/usr/bin/env bash
# Draws the cable guide's picture: a blue network cable from a laptop's network port (arrow 1)
# to a network socket on a wall (arrow 2), on white. 900 x 494 pixels, 24 bits per pixel,
# an uncompressed BMP as the executable's bitmap resource 101 wants it.
#   make-cable-guide-picture.sh <output.bmp>
# Needs ImageMagick and Liberation Sans (Debian: imagemagick, fonts-liberation2).
set -euo pipefail
out=$1
font=/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
tmp="$out.tmp.bmp"

# Colours: cable blue, arrow orange, laptop greys, wall and socket greys.
cable='#1565C0'
arrow='#E8590C'

# The cable: two cubic curves sampled into short straight pieces (ImageMagick 6 closes an
# open path or polyline when it strokes it).
cable_lines=$(awk 'BEGIN {
    n = split("470 318 580 322 560 430 650 420 650 420 740 410 775 340 775 262", p, " ")
    for (s = 0; s < 2; s++) {
        o = s * 8
        for (i = 0; i <= 32; i++) {
            t = i / 32; u = 1 - t
            x = u*u*u*p[o+1] + 3*u*u*t*p[o+3] + 3*u*t*t*p[o+5] + t*t*t*p[o+7]
            y = u*u*u*p[o+2] + 3*u*u*t*p[o+4] + 3*u*t*t*p[o+6] + t*t*t*p[o+8]
            if (i > 0) printf "line %.1f,%.1f %.1f,%.1f ", px, py, x, y
            px = x; py = y
        }
    }
}')

convert -size 900x494 xc:white \
    `# the laptop, on the left: lid with screen, then the keyboard deck` \
    -fill '#3A3F47' -stroke none -draw 'roundrectangle 70,70 390,290 12,12' \
    -fill '#CFE3F7' -draw 'rectangle 88,88 372,272' \
    -fill '#2B2F36' -draw 'polygon 40,300 420,300 450,340 10,340' \
    -fill '#5A606A' -draw 'rectangle 40,296 420,304' \
    `# its network port, on the right side of the deck` \
    -fill '#111111' -draw 'rectangle 428,309 446,327' \
    `# the wall, on the right, with a socket plate` \
    -fill '#F2EEE8' -draw 'rectangle 660,20 880,474' \
    -fill '#C8C2B8' -draw 'rectangle 656,20 662,474' \
    -fill '#FFFFFF' -stroke '#8C8C8C' -strokewidth 3 -draw 'roundrectangle 715,150 835,290 10,10' \
    -fill '#222222' -stroke none -draw 'polygon 748,200 802,200 802,240 790,240 790,250 760,250 760,240 748,240' \
    `# the cable, plug to plug` \
    -fill none -stroke "$cable" -strokewidth 12 -draw "stroke-linecap round $cable_lines" \
    -stroke none -fill "$cable" -draw 'rectangle 446,306 474,330' \
    -fill "$cable" -draw 'rectangle 763,240 787,268' \
    `# arrow 1, from below, to the laptop's port` \
    -fill "$arrow" -stroke "$arrow" -strokewidth 10 -draw 'line 437,440 437,358' \
    -stroke none -draw 'polygon 417,362 457,362 437,336' \
    -fill "$arrow" -draw 'circle 437,462 437,436' \
    `# arrow 2, from above, to the wall socket` \
    -stroke "$arrow" -strokewidth 10 -draw 'line 775,88 775,170' \
    -stroke none -draw 'polygon 755,166 795,166 775,192' \
    -draw 'circle 775,62 775,36' \
    `# the numbers in the arrows' circles` \
    -fill white -stroke none -font "$font" -pointsize 38 \
    -draw 'text 426,476 "1"' -draw 'text 764,76 "2"' \
    -alpha off -type TrueColor -depth 8 "BMP3:$tmp"
mv "$tmp" "$out"
