#!/bin/sh
# Regenerates every embedded picture and sound in this folder.
#
# Needs python3 (standard library), ImageMagick 6 (convert, identify) and the
# WenQuanYi Micro Hei font (Debian fonts-wqy-microhei). The output is
# deterministic: fixed seeds, no timestamps, metadata stripped.
#
#   sh assets/make_assets.sh            # from anywhere
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cd "$here"

FONT=${LANYING_ART_FONT:-/usr/share/fonts/truetype/wqy/wqy-microhei.ttc}
[ -r "$FONT" ] || { echo "font not found: $FONT (install fonts-wqy-microhei)" >&2; exit 1; }

# Keep the folder free of __pycache__.
export PYTHONDONTWRITEBYTECODE=1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# Identity colours (match emblem.py).
INK='#1C2F47'        # text, strongest ink
INK2='#2A4D72'       # glyphs
ACCENT='#5E95C6'     # mist blue
PALE='#DCEBF6'       # highlights inside glyphs
RULE='#C5D8EA'

# Write to a temporary name first so a failed run never leaves a half file.
finish() { mv -f "$1" "$2"; }

# --- Icon, sound, pen dot: byte-exact formats, written by the python scripts.
python3 make_icon.py lanying.ico
python3 make_shutter.py shutter.wav
python3 make_pen_dot.py pen_dot.png

# --- Emblem at the sizes the artwork uses.
for s in 56 25 72; do python3 emblem.py "$s" "$work/emblem$s.png"; done

# --- Glyphs of the five graphic buttons, drawn at 4x and reduced for smooth edges.
glyph() {
  out=$1; shift
  convert -size 80x80 xc:none "$@" -resize 25% "$out"
}
glyph "$work/g_capture.png" -fill "$INK2" -draw "roundrectangle 6,22 74,68 9,9" \
  -draw "roundrectangle 24,11 50,28 5,5" -fill "$PALE" -draw "circle 40,45 40,62" \
  -fill "$ACCENT" -draw "circle 40,45 40,55" -fill white -draw "circle 35,40 35,44" \
  -fill "$PALE" -draw "roundrectangle 58,29 67,34 2,2"
glyph "$work/g_save.png" -fill "$INK2" -draw "path 'M 9,8 L 62,8 L 72,18 L 72,72 L 9,72 Z'" \
  -fill "$PALE" -draw "rectangle 21,8 56,30" -fill "$INK2" -draw "rectangle 45,12 52,26" \
  -fill '#F5F9FD' -draw "rectangle 19,42 62,72" \
  -fill "$ACCENT" -draw "rectangle 25,50 56,53" -draw "rectangle 25,59 56,62"
glyph "$work/g_edit.png" \
  -draw "translate 40,40 rotate -45 fill $ACCENT rectangle -24,-9 22,9 fill $INK2 rectangle 22,-9 34,9 fill #E8D2A6 polygon -24,-9 -24,9 -40,0 fill $INK2 polygon -33,-3.5 -33,3.5 -40,0" \
  -fill "$INK2" -draw "rectangle 40,70 74,74"
glyph "$work/g_hide.png" -fill none -stroke "$INK2" -strokewidth 6 -draw "ellipse 40,40 31,18 0,360" \
  -stroke none -fill "$INK2" -draw "circle 40,40 40,50" \
  -stroke "$PALE" -strokewidth 13 -draw "line 14,68 66,12" \
  -stroke "$INK2" -strokewidth 6 -draw "line 14,68 66,12"
glyph "$work/g_hotkey.png" -fill "$INK2" -draw "roundrectangle 3,17 77,65 8,8" -fill "$PALE" \
  -draw "rectangle 11,25 19,32" -draw "rectangle 24,25 32,32" -draw "rectangle 37,25 45,32" \
  -draw "rectangle 50,25 58,32" -draw "rectangle 63,25 70,32" \
  -draw "rectangle 15,37 23,44" -draw "rectangle 28,37 36,44" -draw "rectangle 41,37 49,44" \
  -draw "rectangle 54,37 66,44" -fill "$ACCENT" -draw "rectangle 21,50 59,56"

# --- Graphic buttons, 120 x 35: glyph, rule, caption. The pressed face is
# darker, lit from below, and its content sits one pixel down and right.
# Corners are flattened onto the dialog face colour: the images are drawn as
# they are, without transparency.
button() {
  state=$1 glyph=$2 text=$3 out=$4
  if [ "$state" = normal ]; then
    top='#FDFEFF' bottom='#D9E7F4' border='#8AABCB' light='#FFFFFF' d=0
  else
    top='#BCD2E8' bottom='#E0EBF6' border='#4F769E' light='#A9C2DC' d=1
  fi
  convert -size 120x35 xc:'#F0F0F0' \
    \( -size 120x35 gradient:"$top-$bottom" \
       \( -size 120x35 xc:black -fill white -draw "roundrectangle 0,0 119,34 4,4" \) \
       -alpha off -compose CopyOpacity -composite \) -compose Over -composite \
    -fill none -stroke "$border" -strokewidth 1 -draw "roundrectangle 0.5,0.5 119.5,34.5 4,4" \
    -stroke "$light" -draw "line 4,1.5 115,1.5" -stroke none \
    "$glyph" -geometry +$((10 + d))+$((8 + d)) -composite \
    -fill "$RULE" -draw "rectangle $((37 + d)),$((9 + d)) $((37 + d)),$((25 + d))" \
    \( -size 80x35 xc:none -font "$FONT" -pointsize 14 -fill "$INK" -stroke "$INK" -strokewidth 0.3 \
       -gravity center -annotate +0+0 "$text" +gravity \) -geometry +$((38 + d))+$d -composite \
    -strip +dither -colors 128 "$work/btn.gif"
  finish "$work/btn.gif" "$out"
}
for entry in capture:抓图 save:保存 edit:编辑 hide:隐藏 hotkey:热键设置; do
  name=${entry%%:*} text=${entry#*:}
  button normal "$work/g_$name.png" "$text" "btn_${name}.gif"
  button pressed "$work/g_$name.png" "$text" "btn_${name}_down.gif"
done

# --- Banner, 600 x 70: misty ranges, emblem, name and slogan.
python3 scenery.py banner "$work/banner_bg.png"
convert "$work/banner_bg.png" "$work/emblem56.png" -geometry +14+7 -composite \
  -font "$FONT" -fill "$INK" -stroke "$INK" -strokewidth 0.8 -pointsize 31 -annotate +82+40 '岚影' \
  -stroke none -fill '#355880' -pointsize 15 -annotate +153+39 '专业抓图工具' \
  -fill '#5E7FA3' -pointsize 10 -kerning 1.5 -annotate +83+58 'LANYING SCREEN CAPTURE  ·  Ver 1.0' \
  \( -size 2x600 gradient:"$ACCENT-$PALE" -rotate -90 \) -geometry +0+68 -composite \
  -strip -sampling-factor 1x1 -quality 90 "$work/banner.jpg"
finish "$work/banner.jpg" banner.jpg

# --- Badge, 88 x 31: emblem on white, name on ink.
convert -size 88x31 xc:white \
  \( -size 29x57 gradient:"$INK2-$INK" -rotate -90 \) -geometry +30+1 -composite \
  -fill none -stroke "$INK" -strokewidth 1 -draw "rectangle 0,0 87,30" -stroke none \
  "$work/emblem25.png" -geometry +3+3 -composite \
  -font "$FONT" -fill white -pointsize 12 -annotate +34+15 '岚影抓图' \
  -fill "$PALE" -pointsize 8 -kerning 0.8 -annotate +35+26 'LANYING' \
  -strip +dither -colors 64 "$work/badge.gif"
finish "$work/badge.gif" badge.gif

# --- About picture, 295 x 100: ranges, emblem, name, and the invitation to
# the release thread it links to.
python3 scenery.py about "$work/about_bg.png"
convert "$work/about_bg.png" "$work/emblem72.png" -geometry +12+14 -composite \
  -font "$FONT" -fill "$INK" -stroke "$INK" -strokewidth 0.6 -pointsize 24 -annotate +96+42 '岚影抓图' \
  -stroke none -fill '#355880' -pointsize 12 -annotate +97+62 '专业抓图工具  Ver 1.0' \
  -fill "$INK2" -pointsize 11 -annotate +97+84 '点击访问发布帖，反馈与更新 »' \
  \( -size 2x295 gradient:"$ACCENT-$PALE" -rotate -90 \) -geometry +0+98 -composite \
  -strip -sampling-factor 1x1 -quality 90 "$work/about.jpg"
finish "$work/about.jpg" about.jpg

identify lanying.ico banner.jpg about.jpg badge.gif btn_*.gif
