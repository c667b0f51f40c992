#!/usr/bin/python3
"""Packs PNG images into one Windows .ico file (PNG-compressed entries).

Usage: make_ico.py OUT.ico IN.png... (standard library only)
"""

import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise ValueError("not a PNG")
    return struct.unpack(">II", data[16:24])


def main(out, pngs):
    images = []
    for p in pngs:
        with open(p, "rb") as f:
            data = f.read()
        w, h = png_size(data)
        if w > 256 or h > 256:
            raise ValueError("%s: larger than 256 px" % p)
        images.append((w, h, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for w, h, data in images:
        entries += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(d for _, _, d in images))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
