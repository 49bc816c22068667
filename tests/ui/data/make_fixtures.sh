#!/usr/bin/env bash
# Makes the GIF fixtures of the ui tests with ImageMagick 6; run by hand, the
# output is committed beside this script.
#   frames.gif   GIF89a, 16 x 12 screen, four images that each bring their own
#                colour table: red 16x12 (disposal 1, delay 0), green 8x6 at
#                4,3 (disposal 2, delay 3), blue 16x12 (disposal 3, delay 5),
#                yellow 6x4 at 2,2 with one transparent pixel (disposal 0,
#                delay 10).
#   static87.gif GIF87a, one navy 8 x 8 image.
set -euo pipefail
cd "$(dirname "$0")"
convert=${CONVERT:-/usr/bin/convert}
"$convert" -loop 0 \
  -dispose None -delay 0 -page 16x12+0+0 -size 16x12 xc:red \
  -dispose Background -delay 3 -page 16x12+4+3 -size 8x6 xc:lime \
  -dispose Previous -delay 5 -page 16x12+0+0 -size 16x12 xc:blue \
  -dispose Undefined -delay 10 -page 16x12+2+2 \( -size 6x4 xc:yellow -alpha set -fill none -draw "color 0,0 point" \) \
  frames.gif
"$convert" -size 8x8 xc:navy GIF87:static87.gif
