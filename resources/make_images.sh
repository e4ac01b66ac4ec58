#!/usr/bin/env bash
# Regenerates the window icon and the 80 x 76 decorative picture (ImageMagick).
set -euo pipefail
cd "$(dirname "$0")"
# Decoration: a blue-to-teal gradient with a band of 16 x 16 tiles in the four output greys.
convert -size 80x76 gradient:'#1c2f6b'-'#2f9c95' \
  -fill '#000000' -draw 'rectangle 8,44 23,59' \
  -fill '#808080' -draw 'rectangle 24,44 39,59' \
  -fill '#c0c0c0' -draw 'rectangle 40,44 55,59' \
  -fill '#ffffff' -draw 'rectangle 56,44 71,59' \
  -fill none -stroke '#ff00ff' -draw 'rectangle 8,44 71,59' \
  -stroke none -fill '#ffffff' -draw 'polygon 14,10 66,10 66,18 44,18 44,38 36,38 36,18 14,18' \
  -define png:color-type=2 -strip PNG24:decor.png
# Window icon: 32 x 32, a white T over the four greys.
convert -size 32x32 xc:'#1c2f6b' \
  -fill '#000000' -draw 'rectangle 2,22 8,29' \
  -fill '#808080' -draw 'rectangle 9,22 15,29' \
  -fill '#c0c0c0' -draw 'rectangle 16,22 22,29' \
  -fill '#ffffff' -draw 'rectangle 23,22 29,29' \
  -fill '#ffffff' -draw 'polygon 4,3 27,3 27,7 18,7 18,19 13,19 13,7 4,7' \
  -strip PNG32:tavrik.png
