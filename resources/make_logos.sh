#!/usr/bin/env bash
# Draws the nine channel logos of the channel strip with ImageMagick into resources/logos/, each at the size of
# its place in the strip: a coloured badge with the channel's number on the strip's dark grey. The JPEGs are
# committed; run this again only to change the artwork.
set -euo pipefail
cd "$(dirname "$0")/logos"
BG='#5e5959'  # the strip's background
# number:size:badge colour
logos=(
    1:168x147:'#d83a3a' 2:122x128:'#3a78d8' 3:125x106:'#2fa84f' 4:229x89:'#e0902a' 5:152x127:'#8a4fd0'
    6:254x99:'#1aa5a5' 7:326x129:'#c8348c' 8:152x127:'#6c8a1c' 9:124x125:'#d0b020'
)
for logo in "${logos[@]}"; do
    IFS=: read -r n size colour <<<"$logo"
    w=${size%x*} h=${size#*x}
    convert -size "$size" "xc:$BG" -fill "$colour" -stroke white -strokewidth 3 \
        -draw "roundrectangle 4,4 $((w - 5)),$((h - 5)) 18,18" \
        -stroke none -fill white -font Helvetica-Bold -pointsize $((h * 2 / 3)) -gravity center \
        -annotate +0+0 "$n" -strip -quality 88 -sampling-factor 4:2:0 "JPEG:Channel$n.jpg"
done
