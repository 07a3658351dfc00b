#!/usr/bin/env bash
# Renders the images of the wait window and the message box from their SVG
# sources in resources/images/src/ (needs rsvg-convert from librsvg2-bin and
# ImageMagick's convert). The rendered files are committed, so a build does
# not need these tools.
set -euo pipefail
cd "$(dirname "$0")/.."
src=resources/images/src
out=resources/images
for name in hrctree_top_bg bg_ligth bg_lgrey; do
  rsvg-convert "$src/$name.svg" -o "$out/$name.png"
done

# The spinner: twelve frames, each turned by another 30 degrees, on the light
# background the wait window puts behind it (GIF has no partial transparency).
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for i in $(seq 0 11); do
  sed "s/ROTATION/$((i * 30))/" "$src/loadersmall.svg" > "$tmp/frame.svg"
  rsvg-convert -b '#f4f5f6' "$tmp/frame.svg" -o "$tmp/frame$(printf %02d "$i").png"
done
convert -delay 8 -loop 0 -dispose previous "$tmp"/frame*.png resources/loadersmall.gif
