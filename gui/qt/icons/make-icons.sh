#!/usr/bin/env bash
# Draws the window's three icons at 16, 24, 32 and 48 px with ImageMagick:
#   window-N.png    green upward arrow (the window icon, the tray icon at rest)
#   picture1-N.png  red cross on a white round badge (first flash icon)
#   picture2-N.png  red cross (alarm icon)
# Each is drawn on a canvas eight times larger and scaled down, with strokes
# thick enough to stay legible at 16 px. Run from anywhere; writes beside itself.
set -euo pipefail
cd "$(dirname "$0")"
command -v convert >/dev/null || { echo "make-icons: ImageMagick 'convert' is needed" >&2; exit 1; }

# p X Y: a point given in 1/100 of the icon's side, on the 8x canvas of size $c.
p() { echo "$(($1 * c / 100)),$(($2 * c / 100))"; }

for s in 16 24 32 48; do
  c=$((s * 8))
  w=$((c / 100))  # one hundredth of the side, for stroke widths

  arrow="$(p 50 4) $(p 96 50) $(p 70 50) $(p 70 96) $(p 30 96) $(p 30 50) $(p 4 50)"
  convert -size ${c}x${c} xc:none \
    -fill '#22b022' -stroke '#0a560a' -strokewidth $((w * 6)) -draw "polygon $arrow" \
    -filter Triangle -resize ${s}x${s} PNG32:window-$s.png

  convert -size ${c}x${c} xc:none -draw "stroke-linecap round" \
    -stroke '#700000' -strokewidth $((w * 30)) -draw "line $(p 20 20) $(p 80 80)" \
    -draw "line $(p 80 20) $(p 20 80)" \
    -stroke '#e81818' -strokewidth $((w * 20)) -draw "line $(p 20 20) $(p 80 80)" \
    -draw "line $(p 80 20) $(p 20 80)" \
    -filter Triangle -resize ${s}x${s} PNG32:picture2-$s.png

  convert -size ${c}x${c} xc:none \
    -fill white -stroke '#808080' -strokewidth $((w * 6)) \
    -draw "circle $(p 50 50) $(p 50 3)" -draw "stroke-linecap round" \
    -stroke '#e81818' -strokewidth $((w * 18)) -draw "line $(p 30 30) $(p 70 70)" \
    -draw "line $(p 70 30) $(p 30 70)" \
    -filter Triangle -resize ${s}x${s} PNG32:picture1-$s.png
done
