#!/bin/sh
# Draws the tool-bar and menu images into resources/images/ with ImageMagick.
# Every picture is drawn on a 256 x 256 canvas in one flat style; the PNG files
# are reduced to 128 x 128 with transparency (at most 64 KiB of pixels, which
# Qt converts on the calling thread instead of spreading the work over its
# thread pool at every start), the GIF files are reduced to 48 x 48 with
# binary transparency (edge pixels blended onto a light tool-bar grey first,
# so they do not fringe).
#
#   tools/icons/make-icons.sh                 (re)writes the eleven images and
#                                             the program's icon
#   tools/icons/make-icons.sh --sheet FILE    also writes a contact sheet at
#                                             24, 32 and 48 px for a look
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=$here/../../resources/images
sheet=
if [ "${1:-}" = "--sheet" ]; then
    sheet=${2:?--sheet needs a file name}
fi
command -v convert >/dev/null || { echo "ImageMagick is needed: apt-get install -y imagemagick" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Palette.
green='#2e9e4f'
red='#d32f2f'
blue='#1e78d2'
slate='#546e7a'
light='#cfd8dc'
orange='#f08c00'
yellow='#f5b82e'
yellowDark='#d9951a'
teal='#00838f'

# draw NAME MVG...: renders the MVG primitives onto a transparent canvas.
draw()
{
    name=$1
    shift
    convert -size 256x256 xc:none -strokewidth 0 "$@" "$work/$name.png"
}

# Gear outline as an MVG path: 8 teeth, with a hole (even-odd fill).
gear_path()
{
    awk 'BEGIN {
        pi = atan2(0, -1); cx = 128; cy = 128; ro = 116; rr = 88; h = 40
        p = ""
        for (i = 0; i < 8; i++) {
            a = i * 45
            split((a - 15) " " (a - 9) " " (a + 9) " " (a + 15), as, " ")
            split(rr " " ro " " ro " " rr, rs, " ")
            for (k = 1; k <= 4; k++) {
                t = as[k] * pi / 180
                p = p sprintf("%s %.1f,%.1f ", (p == "" ? "M" : "L"), cx + rs[k] * cos(t), cy + rs[k] * sin(t))
            }
        }
        p = p sprintf("Z M %d,%d a %d,%d 0 1,0 %d,0 a %d,%d 0 1,0 %d,0 Z", cx - h, cy, h, h, 2 * h, h, h, -2 * h)
        print p
    }'
}

# Start: a play triangle with rounded corners.
draw start -fill "$green" -stroke "$green" -strokewidth 28 -draw "stroke-linejoin round polygon 72,44 72,212 214,128"

# Stop: a square.
draw stop -fill "$red" -draw "roundrectangle 44,44 212,212 26,26"

# Clear data: a waste bin.
draw clear -fill none -stroke "$slate" -strokewidth 14 -draw "roundrectangle 98,22 158,60 10,10" \
    -stroke none -fill "$slate" -draw "roundrectangle 40,50 216,78 10,10" \
    -draw "path 'M 58,92 L 198,92 L 184,222 Q 182,236 168,236 L 88,236 Q 74,236 72,222 Z'" \
    -stroke "$light" -strokewidth 14 -draw "stroke-linecap round line 100,118 104,208" \
    -draw "stroke-linecap round line 128,118 128,208" -draw "stroke-linecap round line 156,118 152,208"

# Merge display: three rows joining into one, which runs on as an arrow.
draw merge -fill none -stroke "$blue" -strokewidth 22 \
    -draw "stroke-linecap round path 'M 40,44 C 96,44 96,128 140,128'" \
    -draw "stroke-linecap round path 'M 40,212 C 96,212 96,128 140,128'" \
    -draw "stroke-linecap round line 40,128 180,128" \
    -stroke none -fill "$blue" -draw "circle 36,44 36,16" -draw "circle 36,128 36,100" \
    -draw "circle 36,212 36,184" -draw "polygon 170,82 240,128 170,174"

# Enable protocol decoding: a list with a label tag on it.
draw decode -fill white -stroke "$slate" -strokewidth 14 -draw "roundrectangle 28,16 172,236 16,16" \
    -stroke "$slate" -strokewidth 18 -draw "stroke-linecap round line 62,62 138,62" \
    -draw "stroke-linecap round line 62,102 138,102" -draw "stroke-linecap round line 62,142 92,142" \
    -stroke white -strokewidth 12 -fill "$orange" \
    -draw "stroke-linejoin round polygon 96,180 140,130 242,130 242,230 140,230" \
    -stroke none -fill white -draw "circle 140,180 140,164"

# Configure protocol decoding: a gear.
draw settings -fill "$slate" -draw "fill-rule evenodd path '$(gear_path)'"

# Help: a question mark in a circle.
draw help -fill "$blue" -draw "circle 128,128 128,8" \
    -fill none -stroke white -strokewidth 30 \
    -draw "stroke-linecap round stroke-linejoin round path 'M 86,96 A 42,42 0 1,1 152,130 Q 128,144 128,160'" \
    -stroke none -fill white -draw "circle 128,200 128,182"

# About: an "i" in a circle.
draw about -fill "$teal" -draw "circle 128,128 128,8" \
    -fill white -draw "circle 128,70 128,50" \
    -stroke white -strokewidth 34 -draw "stroke-linecap round line 128,118 128,198"

# Open file: an open folder.
draw open -fill "$yellowDark" -stroke "$yellowDark" -strokewidth 12 \
    -draw "stroke-linejoin round path 'M 22,50 L 92,50 L 112,72 L 214,72 L 214,206 L 22,206 Z'" \
    -fill "$yellow" -stroke "$yellow" -draw "stroke-linejoin round polygon 58,112 242,112 208,212 20,212"

# Save file: a floppy disk.
draw save -fill "$blue" -stroke "$blue" -strokewidth 16 \
    -draw "stroke-linejoin round path 'M 32,32 L 186,32 L 224,70 L 224,224 L 32,224 Z'" \
    -stroke none -fill '#e3f0fb' -draw "rectangle 72,24 170,96" -fill "$blue" -draw "rectangle 136,40 156,84" \
    -fill white -draw "roundrectangle 60,136 196,232 8,8"

# Exit: the power symbol.
draw exit -fill none -stroke "$red" -strokewidth 30 \
    -draw "stroke-linecap round path 'M 82,72 A 82,82 0 1,0 174,72'" \
    -draw "stroke-linecap round line 128,28 128,122"

# The program's own icon (desktop menu): SCL's clock over SDA's data on a tile.
draw app -fill "$slate" -draw "roundrectangle 8,8 248,248 44,44" \
    -fill none -stroke "$yellow" -strokewidth 18 \
    -draw "stroke-linejoin round stroke-linecap round polyline 34,108 56,108 56,56 96,56 96,108 136,108 136,56 176,56 176,108 222,108" \
    -stroke "$green" \
    -draw "stroke-linejoin round stroke-linecap round polyline 34,200 76,200 76,152 156,152 156,200 222,200"

png()
{
    # No time stamps, so that drawing again gives the same bytes.
    convert "$work/$1.png" -filter Lanczos -resize 128x128 -strip \
        -define png:exclude-chunks=date,time PNG32:"$out/$2"
}

gif()
{
    small=$work/$1-48.png
    convert "$work/$1.png" -filter Lanczos -resize 48x48 "$small"
    # Opaque where at least half covered; partly covered edges take the
    # colour they would have on a light tool bar.
    convert "$small" -background '#ececec' -alpha remove \
        \( "$small" -alpha extract -threshold 45% \) -alpha off -compose CopyOpacity -composite \
        -strip "$out/$2"
}

gif start gif_48_081.gif
gif stop gif_48_078.gif
png clear clear.png
png merge Liste_list_item.png
png decode Shopping_List.png
png settings settings.png
png help help.png
png about about.png
gif open gif_48_072.gif
gif save gif_48_089.gif
gif exit gif_48_026.gif
png app korvex-i2c-sniffer.png

if [ -n "$sheet" ]; then
    cd "$out"
    set -- gif_48_081.gif gif_48_078.gif clear.png Liste_list_item.png Shopping_List.png \
        settings.png help.png about.png gif_48_072.gif gif_48_089.gif gif_48_026.gif
    for size in 24 32 48; do
        montage "$@" -background '#e0e0e0' -resize ${size}x${size} -geometry +6+6 -tile 11x1 \
            "$work/row$size.png"
    done
    convert "$work/row24.png" "$work/row32.png" "$work/row48.png" -background '#e0e0e0' \
        -gravity center -append +repage "$sheet"
fi
