#!/usr/bin/python3
"""Checks the rendered pictures in resources/images/ (standard library only):
sizes; the bar background opaque exactly on its three panels and transparent
elsewhere; every button look opaque and cut from the bar so that it sits
seamlessly on it; the text buttons' normal looks identical to the bar, their
lit looks not."""

import os
import struct
import sys
import zlib

from geometry import BAR_H, BAR_W, BUTTONS, PANELS, TEXT_BUTTONS, mask_of

IMAGES = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "images")


def read_png(path):
    """(width, height, rows of RGBA tuples) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat = 8, b""
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", chunk)
            if depth != 8 or ctype not in (2, 6) or interlace:
                raise ValueError("%s: unsupported PNG layout" % path)
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + n
    bpp = 4 if ctype == 6 else 3
    raw = zlib.decompress(idat)
    stride = w * bpp
    rows, prev = [], bytearray(stride)
    for y in range(h):
        ft = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ft == 1:
                line[i] = (line[i] + a) & 255
            elif ft == 2:
                line[i] = (line[i] + b) & 255
            elif ft == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ft == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        rows.append([tuple(line[i:i + bpp]) + ((255,) if bpp == 3 else ()) for i in range(0, stride, bpp)])
        prev = line
    return w, h, rows


def main():
    errors = []

    def expect(cond, msg):
        if not cond:
            errors.append(msg)

    def img(name, w, h):
        path = os.path.join(IMAGES, name + ".png")
        if not os.path.exists(path):
            errors.append("%s.png missing" % name)
            return None
        iw, ih, rows = read_png(path)
        expect((iw, ih) == (w, h), "%s.png is %dx%d, not %dx%d" % (name, iw, ih, w, h))
        return rows

    bar = img("bar", BAR_W, BAR_H)
    inside = set()
    for poly in PANELS.values():
        inside |= mask_of(poly)
    for y in range(BAR_H):
        for x in range(BAR_W):
            a = bar[y][x][3]
            if (x, y) in inside:
                expect(a == 255, "bar.png: (%d,%d) inside a panel but alpha %d" % (x, y, a))
            else:
                expect(a == 0, "bar.png: (%d,%d) outside the panels but alpha %d" % (x, y, a))

    def crop(x, y, w, h):
        return [row[x:x + w] for row in bar[y:y + h]]

    for name, (x, y, w, h) in BUTTONS.items():
        under = crop(x, y, w, h)
        looks = {look: img("%s_%s" % (name, look), w, h) for look in "nhs"}
        for look, rows in looks.items():
            if rows is None:
                continue
            expect(all(p[3] == 255 for r in rows for p in r), "%s_%s: not opaque" % (name, look))
            rim = [(i, j) for j in range(h) for i in range(w) if i in (0, w - 1) or j in (0, h - 1)]
            if look != "h":
                worst = max(max(abs(a - b) for a, b in zip(rows[j][i], under[j][i])) for i, j in rim)
                expect(worst <= 1, "%s_%s: edge differs from the bar by %d" % (name, look, worst))
        if None not in looks.values():
            expect(looks["n"] != looks["h"] != looks["s"] != looks["n"], "%s: looks not distinct" % name)
    for name, (x, y, w, h, _) in TEXT_BUTTONS.items():
        n, lit = img(name + "_n", w, h), img(name + "_h", w, h)
        if n is not None:
            under = crop(x, y, w, h)
            worst = max(max(abs(a - b) for a, b in zip(p, q)) for r, s in zip(n, under) for p, q in zip(r, s))
            expect(worst <= 1, "%s_n: differs from the bar by %d" % (name, worst))
        if lit is not None:
            expect(lit != n, "%s_h: same as %s_n" % (name, name))
    img("splash", 400, 300)
    img("about", 201, 73)
    for s in (16, 32, 48, 64):
        img("tray%d" % s, s, s)
    for s in (16, 32, 48, 64, 128, 256):
        img("brevon-%d" % s, s, s)

    for e in errors[:40]:
        print(e, file=sys.stderr)
    if errors:
        sys.exit("check: %d problem(s)" % len(errors))
    print("check: all pictures in order")


if __name__ == "__main__":
    main()
