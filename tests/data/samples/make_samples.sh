#!/usr/bin/env bash
# Makes the bundled sample pictures with ImageMagick; the results are committed beside this script.
set -euo pipefail
cd "$(dirname "$0")"
# A round icon with a soft (translucent) edge on a transparent background.
convert -size 96x96 xc:none -fill 'radial-gradient:#5B8DEF-#1C3F94' \
  -draw 'circle 48,48 48,8' -blur 0x1.2 \
  -fill '#FFFFFF' -draw 'roundrectangle 36,26 60,70 5,5' \
  -fill '#1C3F94' -draw 'rectangle 39,31 57,62' -draw 'circle 48,66 48,64' \
  PNG32:phone_icon.png
# The same icon as a 24-bit BMP, its background in the transparent key colour 0x0A0B0C.
convert phone_icon.png -background '#0A0B0C' -alpha remove -alpha off -type TrueColor BMP3:phone_icon.bmp
