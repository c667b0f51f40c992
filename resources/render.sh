#!/bin/sh
# Renders every PNG in resources/images/ from the SVG beside it.
#   resources/render.sh           render the PNGs from the committed SVGs
#   resources/render.sh --svg     first write the SVGs again from src/make_svgs.py
# Needs rsvg-convert (Debian librsvg2-bin); --svg also needs python3-fonttools,
# fonts-dejavu-core and fonts-noto-core. The results are checked by src/check.py.
set -eu
cd "$(dirname "$0")"

PY=$(command -v /usr/bin/python3 || command -v python3)

if [ "${1:-}" = "--svg" ]; then
    "$PY" src/make_svgs.py
fi

command -v rsvg-convert >/dev/null || { echo "rsvg-convert missing: apt-get install librsvg2-bin" >&2; exit 1; }

render() {  # svg, png, [size]
    if [ $# -ge 3 ]; then
        rsvg-convert -w "$3" -h "$3" -o "images/$2" "images/$1"
    else
        rsvg-convert -o "images/$2" "images/$1"
    fi
}

# Pictures at their natural size: bar background, button looks, splash, about, 16 px tray icon.
for f in images/*.svg; do
    n=$(basename "$f" .svg)
    case "$n" in
        tray|brevon) ;;
        *) render "$n.svg" "$n.png"
           # Twice the pixels for scaled screens, named the way Qt looks them up.
           [ "$n" = tray16 ] || rsvg-convert -z 2 -o "images/$n@2x.png" "images/$n.svg" ;;
    esac
done

# Tray icon for HiDPI panels, application icon in the usual sizes.
for s in 32 48 64; do render tray.svg "tray$s.png" "$s"; done
cp images/tray16.png images/brevon-16.png
for s in 32 48 64; do render tray.svg "brevon-$s.png" "$s"; done
for s in 128 256; do render brevon.svg "brevon-$s.png" "$s"; done
"$PY" src/make_ico.py images/brevon.ico images/brevon-16.png images/brevon-32.png \
    images/brevon-48.png images/brevon-64.png images/brevon-128.png images/brevon-256.png

"$PY" src/check.py
