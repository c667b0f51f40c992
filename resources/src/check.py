#!/usr/bin/python3
"""Checks the rendered pictures in resources/images/ and their @2x renderings
(standard library only):
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
        return rows if (iw, ih) == (w, h) else None

    def diff(a, b):
        return max(abs(c - d) for u, v in zip(a, b) for p, q in zip(u, v) for c, d in zip(p, q))

    inside = set()
    for poly in PANELS.values():
        inside |= mask_of(poly)

    for k, tag in ((1, ""), (2, "@2x")):   # the pictures and their doubled renderings
        bar = img("bar" + tag, k * BAR_W, k * BAR_H)
        if bar is None:
            continue
        for y in range(k * BAR_H):
            for x in range(k * BAR_W):
                a = bar[y][x][3]
                want = 255 if (x // k, y // k) in inside else 0
                expect(a == want, "bar%s.png: alpha %d at (%d,%d), not %d" % (tag, a, x, y, want))

        def crop(x, y, w, h):
            return [row[k * x:k * (x + w)] for row in bar[k * y:k * (y + h)]]

        for name, (x, y, w, h) in BUTTONS.items():
            under = crop(x, y, w, h)
            looks = {look: img("%s_%s%s" % (name, look, tag), k * w, k * h) for look in "nhs"}
            for look, rows in looks.items():
                if rows is None:
                    continue
                expect(all(p[3] == 255 for r in rows for p in r), "%s_%s%s: not opaque" % (name, look, tag))
                if look != "h":
                    rim = [r[:1] + r[-1:] for r in rows[1:-1]] + [rows[0], rows[-1]]
                    below = [r[:1] + r[-1:] for r in under[1:-1]] + [under[0], under[-1]]
                    worst = diff(rim, below)
                    expect(worst <= 1, "%s_%s%s: edge differs from the bar by %d" % (name, look, tag, worst))
            if None not in looks.values():
                expect(looks["n"] != looks["h"] != looks["s"] != looks["n"],
                       "%s%s: looks not distinct" % (name, tag))
        for name, (x, y, w, h, _) in TEXT_BUTTONS.items():
            n, lit = img(name + "_n" + tag, k * w, k * h), img(name + "_h" + tag, k * w, k * h)
            if n is not None:
                worst = diff(n, crop(x, y, w, h))
                expect(worst <= 1, "%s_n%s: differs from the bar by %d" % (name, tag, worst))
            if lit is not None:
                expect(lit != n, "%s_h%s: same as %s_n" % (name, tag, name))
    for k, tag in ((1, ""), (2, "@2x")):
        img("splash" + tag, k * 400, k * 300)
        img("about" + tag, k * 201, k * 73)
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
