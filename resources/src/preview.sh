#!/bin/sh
# Composes the control bar as the program shows it: the background with the
# button looks placed at their positions, in three states, on a light and a
# dark desktop, enlarged 4 times without smoothing. Needs ImageMagick.
#   resources/src/preview.sh [OUT.png]      (default: $TMPDIR/brevon-bar-preview.png)
set -eu
out=${1:-${TMPDIR:-/tmp}/brevon-bar-preview.png}
case "$out" in /*) ;; *) out="$(pwd)/$out" ;; esac
cd "$(dirname "$0")/../images"
IM=/usr/bin/convert
[ -x "$IM" ] || IM=convert
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# state: play pauze stop back for instel help  (n, h, s; "-" for no picture)
bar() {
    set -- "$@"
    $IM bar.png \
        imgPlay_$1.png -geometry +122+8 -composite \
        imgPauze_$2.png -geometry +152+8 -composite \
        imgStop_$3.png -geometry +185+8 -composite \
        imgBack_$4.png -geometry +215+8 -composite \
        imgFor_$5.png -geometry +246+8 -composite \
        $( [ "$6" = - ] || echo "imgInstel_$6.png -geometry +297+4 -composite" ) \
        $( [ "$7" = - ] || echo "imgHelp_$7.png -geometry +334+17 -composite" ) \
        "$tmp/bar-$8.png"
}
bar s s s s s - - 1          # just created: nothing to read
bar n s s n h h - 2          # idle with messages, mouse over forward and settings
bar s n n h s - h 3          # speaking, mouse over back, then help

for bg in "#eef0f2" "#2b2f36"; do
    name=$(echo "$bg" | tr -d '#')
    $IM -size 417x153 "xc:$bg" \
        "$tmp/bar-1.png" -geometry +8+8 -composite \
        "$tmp/bar-2.png" -geometry +8+56 -composite \
        "$tmp/bar-3.png" -geometry +8+104 -composite \
        "$tmp/desk-$name.png"
done
$IM "$tmp/desk-eef0f2.png" "$tmp/desk-2b2f36.png" -append -filter point -resize 400% "$out"
echo "$out"
