#!/usr/bin/env bash
# Draws the program's icon (the tray icon's four coloured squares, skin/ICON.png) at the sizes desktops use,
# for the menu entry: icons/varnex-<size>.png. Needs ImageMagick; run from this folder.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons
for size in 16 22 24 32 48 64 128 256; do
    # A square from (x0, y0) up to (x1, y1) on the 16-pixel grid of ICON.png, scaled to this size.
    square() { awk -v s="$size" -v a="$1" -v b="$2" -v c="$3" -v d="$4" \
        'BEGIN { u = s / 16; printf "rectangle %.2f,%.2f %.2f,%.2f", a*u, b*u, c*u - 1, d*u - 1 }'; }
    convert -size "${size}x${size}" 'xc:#363636' \
        -fill '#e04040' -draw "$(square 1 1 8 8)" -fill '#40c040' -draw "$(square 8 1 15 8)" \
        -fill '#4060e0' -draw "$(square 1 8 8 15)" -fill '#e0e040' -draw "$(square 8 8 15 15)" \
        PNG24:"icons/varnex-$size.png"
done
