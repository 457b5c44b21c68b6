#!/usr/bin/env bash
# Draws the skin's bitmaps with ImageMagick into resources/skin/. The PNGs are committed; run this again only
# to change the artwork. Normal faces are grey, hover faces tinted, each on its panel's background colour.
set -euo pipefail
cd "$(dirname "$0")/skin"
BG='#363636'          # player panel
NORMAL='#b4b4b4'
TEAL='#38c8c0'        # hover of play, pause, next, previous
GREEN='#58d858'       # hover of playlist, colour music, VK
draw() { # name size colour draw-commands...
    local name=$1 size=$2 color=$3; shift 3
    convert -size "$size" "xc:$BG" -fill "$color" -stroke "$color" "$@" "PNG24:$name.png"
}
for v in 1:$NORMAL 2:$TEAL; do
    n=${v%%:*}; c=${v#*:}
    draw PLAY$n 48x48 "$c" -strokewidth 2 -fill none -draw 'circle 24,24 24,3' -fill "$c" -draw 'polygon 19,14 19,34 35,24'
    draw PAUSE$n 48x48 "$c" -strokewidth 2 -fill none -draw 'circle 24,24 24,3' -fill "$c" -draw 'rectangle 17,15 21,33' -draw 'rectangle 27,15 31,33'
    draw NEXT$n 32x32 "$c" -strokewidth 1 -draw 'polygon 6,9 6,23 15,16' -draw 'polygon 15,9 15,23 24,16' -draw 'rectangle 24,9 26,23'
    draw PREV$n 32x32 "$c" -strokewidth 1 -draw 'polygon 26,9 26,23 17,16' -draw 'polygon 17,9 17,23 8,16' -draw 'rectangle 6,9 8,23'
done
for v in 1:$NORMAL 2:$GREEN; do
    n=${v%%:*}; c=${v#*:}
    draw PLAYLIST$n 24x24 "$c" -strokewidth 0 -draw 'rectangle 4,6 19,7' -draw 'rectangle 4,11 19,12' -draw 'rectangle 4,16 19,17'
    draw VK$n 24x24 "$c" -strokewidth 2 -fill none -draw 'polyline 3,7 7,17 11,7' -draw 'line 14,6 14,18' -draw 'polyline 21,6 15,12 21,18'
done
draw VISUAL1 24x24 "$NORMAL" -strokewidth 0 -draw 'rectangle 4,12 6,19' -draw 'rectangle 9,6 11,19' -draw 'rectangle 14,9 16,19' -draw 'rectangle 19,14 21,19'
draw VISUAL12 24x24 "$GREEN" -strokewidth 0 -draw 'rectangle 4,12 6,19' -draw 'rectangle 9,6 11,19' -draw 'rectangle 14,9 16,19' -draw 'rectangle 19,14 21,19'
convert -size 16x3 "xc:$BG" -fill '#8a8a8a' -draw 'rectangle 0,1 15,1' PNG24:PRBAR.png
# The thumb's knob fills its width, so that at either end of the slider the knob ends where the track does.
convert -size 54x27 "xc:$BG" -fill '#d0d0d0' -stroke '#8a8a8a' -draw 'roundrectangle 0,5 53,21 4,4' \
    -stroke '#8a8a8a' -draw 'line 23,9 23,17' -draw 'line 26,9 26,17' -draw 'line 29,9 29,17' PNG24:PRCHANGE.png
for v in 1:'#1e5aa0' 2:'#4a90e0'; do
    n=${v%%:*}; c=${v#*:}
    convert -size 37x34 'xc:#64bff0' -fill "$c" -stroke "$c" -strokewidth 2 \
        -draw 'line 18,4 18,30' -draw 'line 5,17 31,17' \
        -draw 'polygon 18,2 14,7 22,7' -draw 'polygon 18,32 14,27 22,27' \
        -draw 'polygon 3,17 8,13 8,21' -draw 'polygon 33,17 28,13 28,21' PNG24:MOVE$n.png
done
convert -size 16x16 'xc:#363636' -fill '#e04040' -draw 'rectangle 1,1 7,7' -fill '#40c040' -draw 'rectangle 8,1 14,7' \
    -fill '#4060e0' -draw 'rectangle 1,8 7,14' -fill '#e0e040' -draw 'rectangle 8,8 14,14' PNG24:ICON.png
