#!/usr/bin/python3
"""Writes the SVG sources of brevon's pictures into resources/images/.

The control bar, its buttons, the splash and about pictures and the icons
are described here once, so that every button is cut from the very same
drawing as the bar background behind it (same gradients, same coordinates:
a button's SVG is the bar's SVG with a viewBox on the button's rectangle).
Text is turned into outlines with fontTools, so the SVGs do not depend on
the fonts installed where they are rendered.

Needs: python3-fonttools, fonts-dejavu-core, fonts-noto-core (Debian).
"""

import math
import os
import sys

from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

from geometry import BAR_W, BAR_H, BUTTONS, PANELS, TEXT_BUTTONS, erode, mask_of

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "images")

FONT_DIRS = ["/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/noto"]


def num(v):
    s = ("%.3f" % v).rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


# --------------------------------------------------------------------------
# Text to outlines
# --------------------------------------------------------------------------

class Font:
    def __init__(self, name):
        for d in FONT_DIRS:
            p = os.path.join(d, name)
            if os.path.exists(p):
                self.tt = TTFont(p)
                break
        else:
            sys.exit("font %s not found (install fonts-dejavu-core and fonts-noto-core)" % name)
        self.upem = self.tt["head"].unitsPerEm
        self.cmap = self.tt.getBestCmap()
        self.gs = self.tt.getGlyphSet()
        self.hmtx = self.tt["hmtx"]
        self.kern = {}
        if "kern" in self.tt:
            for sub in self.tt["kern"].kernTables:
                if hasattr(sub, "kernTable"):
                    self.kern.update(sub.kernTable)

    def glyphs(self, text):
        return [self.cmap[ord(c)] for c in text]

    def advance(self, text, size, track=0.0):
        names = self.glyphs(text)
        s = size / self.upem
        w = 0.0
        for i, g in enumerate(names):
            w += self.hmtx[g][0] * s
            if i + 1 < len(names):
                w += self.kern.get((g, names[i + 1]), 0) * s + track
        return w

    def path(self, text, size, x, y, anchor="start", track=0.0):
        """Outline of text with its baseline at y; anchor start, middle or end at x."""
        w = self.advance(text, size, track)
        if anchor == "middle":
            x -= w / 2
        elif anchor == "end":
            x -= w
        names = self.glyphs(text)
        s = size / self.upem
        pen = SVGPathPen(self.gs, ntos=num)
        for i, g in enumerate(names):
            self.gs[g].draw(TransformPen(pen, (s, 0, 0, -s, x, y)))
            x += self.hmtx[g][0] * s
            if i + 1 < len(names):
                x += self.kern.get((g, names[i + 1]), 0) * s + track
        return pen.getCommands()


SANS = Font("DejaVuSans.ttf")
NOTO = Font("NotoSans-Regular.ttf")
NOTO_BOLD = Font("NotoSans-Bold.ttf")


# --------------------------------------------------------------------------
# Palette
# --------------------------------------------------------------------------

INK = "#33475b"          # glyphs and text at rest
INK_SOFT = "#5b6e82"
ACCENT = "#1762ad"       # lit glyphs and text
ACCENT_LIGHT = "#3f8fdc"
DISABLED = "#b5c0cb"     # greyed glyphs
EDGE = "#7a8a9b"         # panel outline
LIT_FILL_TOP = "#eaf3fd"
LIT_FILL_BOTTOM = "#d3e5f8"
LIT_EDGE = "#8fb8e3"
LIT_TEXT_FILL = "#cfe2f7"


# --------------------------------------------------------------------------
# The control bar: panels as pixel masks
# --------------------------------------------------------------------------

def runs_path(mask):
    """A path made of one-pixel-high runs; edges lie on pixel boundaries."""
    out = []
    for y in sorted({p[1] for p in mask}):
        xs = sorted(x for (x, yy) in mask if yy == y)
        start = prev = xs[0]
        for x in xs[1:] + [None]:
            if x is not None and x == prev + 1:
                prev = x
                continue
            out.append("M%d %dh%dv1h-%dz" % (start, y, prev - start + 1, prev - start + 1))
            if x is not None:
                start = prev = x
    return "".join(out)


def poly_path(poly):
    return "M" + " ".join("%d %d" % p for p in poly) + "z"


def panel_layers(poly):
    """Outline, body and rim of one panel, filling the polygon exactly."""
    m = mask_of(poly)
    inner = erode(m)
    inner2 = erode(inner)
    ring = inner - inner2
    top = min(y for _, y in m)
    bottom = max(y for _, y in m)
    rim_top = {(x, y) for (x, y) in ring if y <= top + 3}
    rim_bottom = {(x, y) for (x, y) in ring if y >= bottom - 2}
    # The outline is a little softer on the stepped corner pixels.
    edge = m - inner
    corner = {(x, y) for (x, y) in edge
              if sum((x + dx, y + dy) in m for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))) == 4}
    return [
        '<path d="%s" fill="%s"/>' % (poly_path(poly), EDGE),
        '<path d="%s" fill="#a3afbc"/>' % runs_path(corner) if corner else "",
        '<path d="%s" fill="url(#panel)"/>' % runs_path(inner),
        '<path d="%s" fill="#ffffff" fill-opacity="0.9"/>' % runs_path(rim_top),
        '<path d="%s" fill="#c9d2dc" fill-opacity="0.7"/>' % runs_path(rim_bottom),
    ]


BAR_DEFS = """<defs>
  <linearGradient id="panel" gradientUnits="userSpaceOnUse" x1="0" y1="1" x2="0" y2="33">
    <stop offset="0" stop-color="#fbfcfe"/>
    <stop offset="0.45" stop-color="#eef2f7"/>
    <stop offset="1" stop-color="#dfe5ec"/>
  </linearGradient>
  <linearGradient id="lit" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="%s"/>
    <stop offset="1" stop-color="%s"/>
  </linearGradient>
  <linearGradient id="logo" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="%s"/>
    <stop offset="1" stop-color="%s"/>
  </linearGradient>
</defs>""" % (LIT_FILL_TOP, LIT_FILL_BOTTOM, ACCENT_LIGHT, ACCENT)


# --------------------------------------------------------------------------
# The logo: a speech bubble carrying an envelope, drawn in a 24 x 24 box
# --------------------------------------------------------------------------

# The bubble's body lies on whole pixels at 24 px: x 1 to 23, y 2 to 19; its tail hangs left.
BUBBLE24 = ("M5 2h14a4 4 0 0 1 4 4v9a4 4 0 0 1-4 4h-9l-4.6 3.5a0.6 0.6 0 0 1-0.96-0.48v-3.1"
            "a4 4 0 0 1-3.44-3.92v-9a4 4 0 0 1 4-4z")


def logo(x, y, size, gradient="logo", envelope="#ffffff", flap=ACCENT):
    s = size / 24.0
    return """<g transform="translate(%s %s) scale(%s)">
  <path d="%s" fill="url(#%s)"/>
  <rect x="5.6" y="6" width="12.8" height="9" rx="1.2" fill="%s"/>
  <path d="M6.3 6.9l5.7 4.2l5.7-4.2" fill="none" stroke="%s" stroke-width="1.4" stroke-linecap="round" stroke-linejoin="round"/>
</g>""" % (num(x), num(y), num(s), BUBBLE24, gradient, envelope, flap)


# --------------------------------------------------------------------------
# Button glyphs, in button coordinates
# --------------------------------------------------------------------------

def glyph(name, colour):
    f = 'fill="%s"' % colour
    if name == "imgPlay":       # 24 x 18
        return '<path d="M8 4.4v10.2a0.6 0.6 0 0 0 0.9 0.5l8.4-5.1a0.6 0.6 0 0 0 0-1l-8.4-5.1a0.6 0.6 0 0 0-0.9 0.5z" %s/>' % f
    if name == "imgPauze":      # 27 x 18
        return ('<rect x="8" y="4" width="4" height="11" rx="0.8" %s/>'
                '<rect x="15" y="4" width="4" height="11" rx="0.8" %s/>' % (f, f))
    if name == "imgStop":       # 23 x 18
        return '<rect x="6" y="4" width="11" height="11" rx="1.2" %s/>' % f
    if name == "imgBack":       # 26 x 18
        return ('<rect x="8" y="4" width="2" height="11" rx="0.5" %s/>'
                '<path d="M19 4.6v9.8a0.6 0.6 0 0 1-0.95 0.5l-7-4.9a0.6 0.6 0 0 1 0-1l7-4.9a0.6 0.6 0 0 1 0.95 0.5z" %s/>' % (f, f))
    if name == "imgFor":        # 25 x 18
        return ('<rect x="16" y="4" width="2" height="11" rx="0.5" %s/>'
                '<path d="M7 4.6v9.8a0.6 0.6 0 0 0 0.95 0.5l7-4.9a0.6 0.6 0 0 0 0-1l-7-4.9a0.6 0.6 0 0 0-0.95 0.5z" %s/>' % (f, f))
    raise KeyError(name)


def lit_plate(w, h, r):
    return ('<rect x="0.5" y="0.5" width="%s" height="%s" rx="%s" fill="url(#lit)" stroke="%s"/>'
            % (num(w - 1), num(h - 1), num(r), LIT_EDGE))


def text_button(name, colour, lit=False):
    x, y, w, h, caption = TEXT_BUTTONS[name]
    # Centred in the box, starting on a whole pixel: the two words then also end together.
    start = x + round((w - SANS.advance(caption, 11)) / 2)
    # 11 px DejaVu Sans: x-height and cap height land on whole pixels. The baseline sits low
    # in the box to balance the pair in the panel; the box clips the last fraction of a "g".
    clip = "clip-%s%s" % (name, "-lit" if lit else "")
    return ('<clipPath id="%s"><rect x="%d" y="%d" width="%d" height="%d"/></clipPath>'
            '<path d="%s" fill="%s" clip-path="url(#%s)"/>'
            % (clip, x, y, w, h, SANS.path(caption, 11, start, y + 9), colour, clip))


def bar_scene():
    parts = [BAR_DEFS]
    for name in ("left", "middle", "right"):
        parts += panel_layers(PANELS[name])
    # Left panel: logo and wordmark (at 16.48 px the x-height of Noto Sans Bold is 9 pixels).
    parts.append(logo(8, 6, 24))
    parts.append('<path d="%s" fill="%s"/>' % (NOTO_BOLD.path("Brevon", 16.48, 36, 23), INK))
    # Middle panel: a quiet divider between the transport and the message buttons.
    parts.append('<rect x="212" y="12" width="1" height="11" fill="#c3ccd6"/>')
    parts.append('<rect x="213" y="12" width="1" height="11" fill="#ffffff" fill-opacity="0.8"/>')
    # Right panel: the two text buttons at rest.
    for name in TEXT_BUTTONS:
        parts.append(text_button(name, INK))
    return "\n".join(p for p in parts if p)


def svg(w, h, body, view=None, note=""):
    vb = view or (0, 0, w, h)
    note = "<!-- %s (generated by resources/src/make_svgs.py) -->\n" % note if note else ""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="%s">\n%s%s\n</svg>\n'
            % (w, h, " ".join(num(v) for v in vb), note, body))


def write(name, text):
    with open(os.path.join(OUT, name + ".svg"), "w", encoding="utf-8") as f:
        f.write(text)


def note(name, look):
    words = {"n": "normal look", "h": "lit look (mouse over it)", "s": "disabled look"}[look]
    return "%s, %s: the bar's drawing seen through the button's rectangle" % (name, words)


def make_bar():
    scene = bar_scene()
    write("bar", svg(BAR_W, BAR_H, scene, note="control bar background, 401 x 41"))
    for name, (x, y, w, h) in BUTTONS.items():
        for look, colour, plate in (("n", INK, False), ("h", ACCENT, True), ("s", DISABLED, False)):
            body = [scene, '<g transform="translate(%d %d)">' % (x, y)]
            if plate:
                body.append(lit_plate(w, h, 4))
            body.append(glyph(name, colour))
            body.append("</g>")
            write("%s_%s" % (name, look), svg(w, h, "\n".join(body), (x, y, w, h), note(name, look)))
    for name, (x, y, w, h, _) in TEXT_BUTTONS.items():
        write(name + "_n", svg(w, h, scene, (x, y, w, h), note(name, "n")))
        # A borderless plate: the words fill the 11 rows, a rim would cut through them.
        plate = ('<rect x="%d" y="%d" width="%d" height="%d" rx="3" fill="%s"/>'
                 % (x, y, w, h, LIT_TEXT_FILL))
        body = [scene, plate,
                text_button(name, ACCENT, lit=True)]
        write(name + "_h", svg(w, h, "\n".join(body), (x, y, w, h), note(name, "h")))


# --------------------------------------------------------------------------
# Splash, about, icons
# --------------------------------------------------------------------------

def make_splash():
    w, h = 400, 300
    body = ["""<defs>
  <linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#fdfeff"/>
    <stop offset="1" stop-color="#e3ebf4"/>
  </linearGradient>
  <linearGradient id="logo" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="%s"/>
    <stop offset="1" stop-color="%s"/>
  </linearGradient>
  <radialGradient id="glow" cx="200" cy="92" r="150" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#ffffff" stop-opacity="1"/>
    <stop offset="1" stop-color="#ffffff" stop-opacity="0"/>
  </radialGradient>
</defs>""" % (ACCENT_LIGHT, ACCENT),
            '<rect width="400" height="300" fill="url(#bg)"/>',
            '<rect width="400" height="300" fill="url(#glow)"/>']
    # Sound waves either side of the logo.
    for side in (-1, 1):
        for i, (r, op) in enumerate(((44, 0.35), (58, 0.22), (72, 0.12))):
            cx, cy = 200, 82
            a = 0.55
            x1 = cx + side * r * math.cos(a)
            y1 = cy - r * math.sin(a)
            y2 = cy + r * math.sin(a)
            body.append('<path d="M%s %s A%d %d 0 0 %d %s %s" fill="none" stroke="%s" stroke-opacity="%s" '
                        'stroke-width="3.5" stroke-linecap="round"/>'
                        % (num(x1), num(y1), r, r, 1 if side > 0 else 0, num(x1), num(y2), ACCENT_LIGHT, op))
    body.append(logo(200 - 36, 88 - 38, 72))
    body.append('<path d="%s" fill="#1f3347"/>' % NOTO_BOLD.path("Brevon", 50, 200, 194, "middle", 0.5))
    body.append('<path d="%s" fill="%s"/>' % (NOTO.path("Uw e-mail, voorgelezen", 18, 200, 224, "middle"), INK_SOFT))
    body.append('<rect x="176" y="246" width="48" height="2" rx="1" fill="%s" fill-opacity="0.55"/>' % ACCENT_LIGHT)
    body.append('<path d="%s" fill="#7b8a9a"/>' % NOTO.path("Tolvani Speech Technology", 11, 200, 276, "middle", 0.6))
    body.append('<rect x="0.5" y="0.5" width="399" height="299" fill="none" stroke="#a9b6c4"/>')
    write("splash", svg(w, h, "\n".join(body), note="splash picture, 400 x 300"))


def make_about():
    w, h = 201, 73
    body = ["""<defs>
  <linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#fdfeff"/>
    <stop offset="1" stop-color="#e6edf5"/>
  </linearGradient>
  <linearGradient id="logo" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="%s"/>
    <stop offset="1" stop-color="%s"/>
  </linearGradient>
</defs>""" % (ACCENT_LIGHT, ACCENT),
            '<rect x="0.5" y="0.5" width="200" height="72" rx="4" fill="url(#bg)" stroke="#aab7c5"/>',
            logo(10, 14, 44),
            '<path d="%s" fill="#1f3347"/>' % NOTO_BOLD.path("Brevon", 24, 64, 33),
            '<path d="%s" fill="%s"/>' % (NOTO.path("Uw e-mail, voorgelezen", 11, 64, 48), INK_SOFT),
            '<path d="%s" fill="#7b8a9a"/>' % NOTO.path("Tolvani Speech Technology", 9.5, 64, 62),
            ]
    write("about", svg(w, h, "\n".join(body), note="about window picture, 201 x 73"))


ICON_DEFS = """<defs>
  <linearGradient id="logo" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="%s"/>
    <stop offset="1" stop-color="%s"/>
  </linearGradient>
</defs>""" % (ACCENT_LIGHT, ACCENT)


def envelope_v16(colour):
    """The flap of the 16 px envelope, one pixel per step."""
    px = [(3, 3), (12, 3), (4, 4), (11, 4), (5, 5), (10, 5), (6, 6), (9, 6), (7, 7), (8, 7)]
    return "".join('<rect x="%d" y="%d" width="1" height="1" fill="%s"/>' % (x, y, colour) for x, y in px)


def make_icons():
    # 16 x 16, drawn on the pixel grid: a blue bubble with a white envelope, a dark rim so that
    # it holds on light panels, a bright envelope so that it holds on dark ones.
    tray16 = [ICON_DEFS,
              '<path d="M3 0.5h10a2.5 2.5 0 0 1 2.5 2.5v7a2.5 2.5 0 0 1-2.5 2.5h-5.3l-3.6 3v-3h-1.1'
              'a2.5 2.5 0 0 1-2.5-2.5v-7a2.5 2.5 0 0 1 2.5-2.5z" fill="url(#logo)" stroke="#0f4888" '
              'stroke-linejoin="round"/>',
              '<rect x="3" y="3" width="10" height="7" fill="#ffffff"/>',
              envelope_v16(ACCENT)]
    write("tray16", svg(16, 16, "\n".join(tray16), note="tray icon, 16 x 16, on the pixel grid"))
    # Larger trays: the logo with a thin dark rim.
    tray = [ICON_DEFS,
            '<path d="%s" fill="none" stroke="#0f4888" stroke-width="0.9" stroke-linejoin="round"/>'
            % BUBBLE24,
            logo(0, 0, 24)]
    write("tray", svg(64, 64, "\n".join(tray), (0, 0, 24, 24), "tray icon for 32, 48 and 64 px"))
    # The application icon for large sizes: the same bubble with depth, the envelope and the
    # sound it makes.
    bubble = ("M56 24h144a40 40 0 0 1 40 40v104a40 40 0 0 1-40 40h-92l-50 38a6 6 0 0 1-9.6-4.8"
              "v-34.6a40 40 0 0 1-32.4-38.6v-104a40 40 0 0 1 40-40z")
    app = ["""<defs>
  <linearGradient id="body" x1="0" y1="24" x2="0" y2="240" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#4a9ae6"/>
    <stop offset="1" stop-color="#1459a3"/>
  </linearGradient>
  <linearGradient id="sheen" x1="0" y1="24" x2="0" y2="130" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#ffffff" stop-opacity="0.28"/>
    <stop offset="1" stop-color="#ffffff" stop-opacity="0"/>
  </linearGradient>
  <linearGradient id="paper" x1="0" y1="72" x2="0" y2="160" gradientUnits="userSpaceOnUse">
    <stop offset="0" stop-color="#ffffff"/>
    <stop offset="1" stop-color="#e4edf7"/>
  </linearGradient>
  <filter id="shadow" x="-10%" y="-10%" width="120%" height="130%">
    <feGaussianBlur stdDeviation="5"/>
  </filter>
</defs>""",
           '<path d="%s" transform="translate(0 6)" fill="#0b2f57" fill-opacity="0.35" filter="url(#shadow)"/>' % bubble,
           '<path d="%s" fill="url(#body)" stroke="#0f4888" stroke-width="4"/>' % bubble,
           '<path d="%s" fill="url(#sheen)"/>' % bubble,
           '<rect x="50" y="72" width="112" height="84" rx="9" fill="url(#paper)"/>',
           '<path d="M58 82l48 36l48-36" fill="none" stroke="%s" stroke-width="9" '
           'stroke-linecap="round" stroke-linejoin="round"/>' % ACCENT,
           '<path d="M184 92a30 30 0 0 1 0 44" fill="none" stroke="#ffffff" stroke-width="10" stroke-linecap="round"/>',
           '<path d="M206 76a54 54 0 0 1 0 76" fill="none" stroke="#ffffff" stroke-opacity="0.75" '
           'stroke-width="10" stroke-linecap="round"/>']
    write("brevon", svg(256, 256, "\n".join(app), note="application icon, 128 px and up"))


def main():
    os.makedirs(OUT, exist_ok=True)
    make_bar()
    make_splash()
    make_about()
    make_icons()


if __name__ == "__main__":
    main()
