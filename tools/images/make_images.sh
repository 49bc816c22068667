#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick 6 (Debian's imagemagick and
# fonts-dejavu-core) into resources/images. Run by hand after changing a
# picture, then commit the script and its output together.
#
# Sizes follow the progress window: 285 x 148 dialog units of "MS Shell Dlg"
# 9 pt, 428 x 241 px at 96 dpi where that font is Tahoma, 499 x 259 px under
# Wine here (MapDialogRect). Pictures are drawn for 96 dpi; the program
# enlarges them by the window's DPI (1.5 times at 144 dpi, where the window is
# 642 x 362 to 784 x 389 px), so the background is drawn large enough to cover
# the largest of these at 96 dpi (760 x 400) with everything that matters in
# the top-left 428 x 241. Its lower part, below the line at row 150, is one
# flat blue, RGB(0,104,183): the strip, the percentage label and the status
# line stand on it, and the program paints their cells in the same blue. The
# strip is as wide as its control can get (640 px) and the window centres it.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
out="$here/resources/images"
convert=${CONVERT:-/usr/bin/convert}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

font=DejaVu-Sans-Bold
top='rgb(0,112,195)'    # background at the top rows, behind the title buttons
ground='rgb(0,104,183)' # the flat lower part of the background, behind the strip and the label
white='rgb(255,255,255)'

# Background 188: a calm blue gradient down to the line at row 150, a faint
# ring motif on the right above it, the flat ground below it, the product
# name, and a refresh mark beside it that turns once per 1.2 s.
bw=760 bh=400 line=150
"$convert" \( -size ${bw}x${line} gradient:"$top"-"$ground" \) \( -size ${bw}x$((bh - line)) xc:"$ground" \) -append +repage \
  \( -size ${bw}x${line} xc:none -fill none -stroke 'rgba(255,255,255,0.06)' -strokewidth 18 \
     -draw "circle 372,120 372,10" -strokewidth 10 -draw "circle 372,120 372,-40" \
     -background none -extent ${bw}x${bh} +repage \) -composite \
  -fill none -stroke 'rgba(255,255,255,0.25)' -strokewidth 1 -draw "line 24,$line 759,$line" \
  -stroke none -fill "$white" -font "$font" -pointsize 26 -annotate +72+58 'RenewKit' \
  -fill 'rgba(255,255,255,0.8)' -font DejaVu-Sans -pointsize 12 -annotate +73+80 'Application update' \
  "$work/base.png"

# The refresh mark: drawn 4x larger, turned, then scaled down for smooth edges.
"$convert" -size 160x160 xc:none -fill none -stroke "$white" -strokewidth 14 -draw "stroke-linecap round" \
  -draw "arc 24,24 136,136 45,315" \
  -stroke none -fill "$white" -draw "polygon 137,23 141,62 102,58" \
  "$work/mark.png"
frames=()
for i in $(seq 0 11); do
  angle=$((i * 30))
  "$convert" "$work/base.png" \
    \( "$work/mark.png" -background none -distort SRT "$angle" -resize 40x40 \) \
    -geometry +24+36 -composite "$work/frame$i.png"
  frames+=("$work/frame$i.png")
done
"$convert" -delay 10 "${frames[@]}" -dither None -colors 255 +map -loop 0 -layers OptimizeFrame "$out/background.gif"

# Progress strip 189: a dark track with a soft light that runs along it, on
# the ground's blue, centred in 16 rows so that any crop from 10 rows up shows
# the whole track.
sw=640 sh=16
"$convert" -size ${sw}x${sh} xc:"$ground" -fill 'rgb(0,70,130)' -draw "rectangle 0,5 $((sw - 1)),10" \
  "$work/track.png"
"$convert" \
  \( -size 6x120 gradient:'rgba(255,255,255,0)'-'rgba(255,255,255,1)' -rotate -90 \) \
  \( -size 6x120 gradient:'rgba(255,255,255,1)'-'rgba(255,255,255,0)' -rotate -90 \) \
  +append -resize 160x6\! "$work/light.png"
frames=()
for i in $(seq 0 23); do
  x=$((i * (sw + 160) / 24 - 160))
  "$convert" "$work/track.png" "$work/light.png" -geometry +${x}+5 -composite "$work/strip$i.png"
  frames+=("$work/strip$i.png")
done
"$convert" -delay 5 "${frames[@]}" -dither None -colors 64 +map -loop 0 -layers OptimizeFrame "$out/progress.gif"

# Title buttons, 30 x 21 px, opaque on the background's top colour: normal,
# pressed (darker), hover (lighter), disabled (faded glyph).
button() { # name glyph-draw
  local name=$1 glyph=$2
  "$convert" -size 30x21 xc:"$top" -fill none -stroke "$white" -strokewidth 2 -draw "$glyph" \
    -dither None "$out/${name}_normal.gif"
  "$convert" -size 30x21 xc:'rgb(0,84,150)' -fill none -stroke "$white" -strokewidth 2 -draw "$glyph" \
    -dither None "$out/${name}_pressed.gif"
  "$convert" -size 30x21 xc:'rgb(26,138,222)' -fill none -stroke "$white" -strokewidth 2 -draw "$glyph" \
    -dither None "$out/${name}_hover.gif"
  "$convert" -size 30x21 xc:"$top" -fill none -stroke 'rgb(110,160,205)' -strokewidth 2 -draw "$glyph" \
    -dither None "$out/${name}_disabled.gif"
}
button minimize "line 10,14 20,14"
# The second button sends the window down to the notification area: an arrow onto a line.
button tray "line 15,4 15,12 line 11,9 15,13 line 19,9 15,13 line 9,16 21,16"

# Tray window: background 168 (306 x 184 px: 204 x 113 dialog units), the
# close mark hovered 170 (15 x 15 px at 196,8) and icon 141.
"$convert" -size 306x184 gradient:'rgb(250,252,255)'-'rgb(228,238,248)' \
  -fill "$top" -draw "rectangle 0,0 305,3" \
  -fill none -stroke 'rgb(200,214,230)' -draw "rectangle 0,0 305,183" \
  -stroke 'rgb(120,140,160)' -strokewidth 1.5 -draw "line 199,11 207,19 line 207,11 199,19" \
  -type TrueColor "BMP3:$out/tray_background.bmp"
"$convert" -size 15x15 xc:'rgb(210,60,50)' \
  -stroke "$white" -strokewidth 1.5 -draw "line 3,3 11,11 line 11,3 3,11" \
  -type TrueColor "BMP3:$out/tray_close_hover.bmp"
for s in 16 32 48; do
  "$convert" -size ${s}x${s} xc:none -fill "$top" -draw "roundrectangle 0,0 $((s - 1)),$((s - 1)) $((s / 5)),$((s / 5))" \
    \( "$work/mark.png" -resize $((s * 3 / 4))x$((s * 3 / 4)) \) -gravity center -composite "$work/icon$s.png"
done
"$convert" "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" "$out/tray.ico"
# Download block view: an empty (1062) and a filled (1063) block, 10 x 10 px
# cells with a one-pixel white gap on the right and bottom so that
# neighbouring blocks read as separate on the view's white ground.
"$convert" -size 10x10 xc:"$white" -fill 'rgb(234,242,251)' -stroke 'rgb(184,201,220)' -draw "rectangle 0,0 8,8" \
  -type TrueColor "BMP3:$out/block_empty.bmp"
"$convert" -size 10x10 xc:"$white" -fill "$top" -stroke 'rgb(0,84,150)' -draw "rectangle 0,0 8,8" \
  -stroke 'rgb(90,165,230)' -draw "line 1,1 7,1" \
  -type TrueColor "BMP3:$out/block_filled.bmp"
echo "make_images: wrote $(ls "$out" | wc -l) files to $out"
