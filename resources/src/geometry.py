"""Geometry of the control bar: its size, the three stepped-corner panels that cut
its shape (polygons in bar pixels, filled with the winding rule) and the
rectangles of its buttons. Standard library only."""


BAR_W, BAR_H = 401, 41

PANELS = {
    "left": [(1, 5), (3, 5), (3, 3), (5, 3), (5, 1), (102, 1), (102, 2), (103, 2), (103, 4),
             (104, 4), (104, 29), (103, 29), (103, 31), (102, 31), (102, 32), (100, 32),
             (100, 33), (4, 33), (4, 32), (2, 32), (2, 31), (1, 31)],
    "middle": [(111, 5), (112, 5), (112, 4), (113, 4), (113, 3), (115, 3), (115, 1), (279, 1),
               (279, 2), (280, 2), (280, 4), (281, 4), (281, 28), (280, 28), (280, 30),
               (279, 30), (279, 31), (278, 31), (278, 32), (276, 32), (276, 33), (114, 33),
               (114, 32), (112, 32), (112, 31), (111, 31)],
    "right": [(289, 5), (290, 5), (290, 4), (291, 4), (291, 3), (292, 3), (292, 2), (293, 2),
              (293, 1), (374, 1), (374, 2), (378, 2), (378, 4), (379, 4), (379, 28), (378, 28),
              (378, 30), (377, 30), (377, 31), (376, 31), (376, 32), (374, 32), (374, 33),
              (292, 33), (292, 32), (290, 32), (290, 31), (289, 31)],
}

BUTTONS = {  # name: (x, y, w, h)
    "imgPlay": (122, 8, 24, 18),
    "imgPauze": (152, 8, 27, 18),
    "imgStop": (185, 8, 23, 18),
    "imgBack": (215, 8, 26, 18),
    "imgFor": (246, 8, 25, 18),
}
TEXT_BUTTONS = {
    "imgInstel": (297, 4, 77, 11, "Instellingen"),
    "imgHelp": (334, 17, 40, 11, "Help"),
}


def winding(poly, px, py):
    """Winding number of the polygon around the point (px, py)."""
    wn = 0
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if y1 <= py < y2 or y2 <= py < y1:
            t = (py - y1) / (y2 - y1)
            if x1 + t * (x2 - x1) > px:
                wn += 1 if y2 > y1 else -1
    return wn


def mask_of(poly):
    """The pixels the polygon covers (pixel centres inside, winding rule)."""
    return {(x, y) for y in range(BAR_H) for x in range(BAR_W)
            if winding(poly, x + 0.5, y + 0.5) != 0}


def erode(mask):
    return {(x, y) for (x, y) in mask
            if (x - 1, y) in mask and (x + 1, y) in mask and (x, y - 1) in mask and (x, y + 1) in mask}
