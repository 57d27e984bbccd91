#!/usr/bin/env python3
"""Draws the client utility's pictures and writes them to ../pictures.cc as XPM.

Run it once after changing a drawing: python3 oxu/tools/make_pictures.py
Only simple geometry, so that the pictures can be redrawn and changed here.
"""

import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "pictures.cc")


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    """True for pixel centres in the rectangle [x0,x1) x [y0,y1) with corners of radius r."""
    px, py = x + 0.5, y + 0.5
    if px < x0 or px >= x1 or py < y0 or py >= y1:
        return False
    cx = min(max(px, x0 + r), x1 - r)
    cy = min(max(py, y0 + r), y1 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def in_circle(x, y, cx, cy, r):
    return (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r


# --- The main window's picture --------------------------------------------

MAIN_W, MAIN_H = 424, 270
MAIN_COLOURS = [
    (".", "#D6E8F5"),  # sky
    ("g", "#9DC4A4"),  # hills
    ("n", "#24385A"),  # card body
    ("s", "#C8CFD8"),  # metal and label
    ("o", "#EE9A3A"),  # radio waves, lamp, logo
]

CARD = (52, 112, 250, 236)      # x0, y0, x1, y1 of the card's thin part
HOUSING = (246, 98, 300, 250)   # the thicker end that holds the antenna
MAST_X = 281                    # antenna rod
TIP = (MAST_X + 0.5, 54.0)      # centre of the waves


def hills(x, y):
    # Two gentle swells meeting the sky give a calm horizon.
    return y >= 192 + 13 * math.sin(x / 58.0 + 0.4) + 5 * math.sin(x / 23.0 + 1.3)


def main_pixel(x, y):
    c = "g" if hills(x, y) else "."

    # Radio waves: three arcs to each side of the antenna tip.
    dx, dy = x + 0.5 - TIP[0], y + 0.5 - TIP[1]
    d = math.hypot(dx, dy)
    ang = math.degrees(math.atan2(-dy, abs(dx)))  # 0 = level, mirrored sides
    for r in (20, 36, 52, 68):
        if abs(d - r) <= 3.0 and -40 <= ang <= 40:
            c = "o"

    # Antenna rod with a ball on top.
    if MAST_X - 2 <= x <= MAST_X + 2 and TIP[1] <= y < HOUSING[1] + 4:
        c = "n"
    if in_circle(x, y, TIP[0], TIP[1], 7):
        c = "n"
    if in_circle(x, y, TIP[0] - 2, TIP[1] - 2, 2.2):
        c = "s"

    # Card: thin part, then the housing over its right end.
    x0, y0, x1, y1 = CARD
    if inside_round_rect(x, y, x0, y0, x1, y1, 7):
        c = "n"
        # Connector edge on the left: metal strip with dark pin gaps.
        if x < x0 + 11:
            c = "s"
            if x >= x0 + 3 and y0 + 8 <= y < y1 - 8 and (y - y0) % 5 == 0:
                c = "n"
        # Label with a wave logo and lines standing for writing.
        if inside_round_rect(x, y, 80, 128, 222, 220, 5):
            c = "s"
            lx, ly = 104.5, 176.5
            ld = math.hypot(x + 0.5 - lx, y + 0.5 - ly)
            la = math.degrees(math.atan2(ly - (y + 0.5), x + 0.5 - lx))
            if ld <= 4 or any(abs(ld - r) <= 1.6 for r in (9, 15)) and -45 <= la <= 45:
                c = "o"
            for (tx0, tx1, ty) in ((128, 206, 146), (128, 188, 158), (128, 200, 190), (96, 170, 204)):
                if tx0 <= x < tx1 and ty <= y < ty + 5:
                    c = "n"
    hx0, hy0, hx1, hy1 = HOUSING
    if inside_round_rect(x, y, hx0, hy0, hx1, hy1, 14):
        c = "n"
        # A metal seam marks where the housing meets the card.
        if hx0 + 2 <= x < hx0 + 5 and hy0 + 10 <= y < hy1 - 10:
            c = "s"
        # Ribs on the housing, and the lamp.
        if hx0 + 14 <= x < hx1 - 10 and y >= 190 and y < 236 and (y - 190) % 9 < 3:
            c = "s"
        if in_circle(x, y, hx0 + 27, hy0 + 22, 5):
            c = "o"
    return c


# --- The error sign -------------------------------------------------------

ERR_W, ERR_H = 41, 37
ERR_COLOURS = [
    (" ", "None"),
    ("d", "#8E1A17"),  # rim
    ("r", "#D8332C"),  # disc
    ("w", "#FFFFFF"),  # exclamation mark
]


def error_pixel(x, y):
    cx, cy = 20.5, 18.5
    c = " "
    if in_circle(x, y, cx, cy, 17.7):
        c = "d"
    if in_circle(x, y, cx, cy, 15.8):
        c = "r"
    # Exclamation mark: a bar narrowing downwards and a dot.
    if 6 <= y <= 22:
        half = 3.0 - (y - 6) * 1.2 / 16
        if abs(x + 0.5 - cx) <= half:
            c = "w"
    if in_circle(x, y, cx, 28.0, 2.9):
        c = "w"
    return c


def xpm(name, w, h, colours, pixel):
    used = set()
    rows = []
    for y in range(h):
        row = "".join(pixel(x, y) for x in range(w))
        used.update(row)
        rows.append(row)
    known = {k for k, _ in colours}
    assert used <= known, used - known
    # Only colours that are used are listed, so that the count is exact.
    colours = [(k, v) for k, v in colours if k in used]
    lines = ['"%d %d %d 1",' % (w, h, len(colours))]
    lines += ['"%s c %s",' % (k, v) for k, v in colours]
    lines += ['"%s",' % r for r in rows]
    lines[-1] = lines[-1].rstrip(",")
    return "const char *const %s[] = {\n%s\n};\n" % (name, "\n".join(lines)), len(colours)


def main():
    main_src, n_main = xpm("MainPicture", MAIN_W, MAIN_H, MAIN_COLOURS, main_pixel)
    assert n_main == 5, n_main
    err_src, _ = xpm("ErrorPicture", ERR_W, ERR_H, ERR_COLOURS, error_pixel)
    with open(OUT, "w") as f:
        f.write("// Made by tools/make_pictures.py; change the drawing there and run it again.\n")
        f.write('#include "pictures.h"\n\n')
        f.write("// The main window's picture: a wireless PC card sending.\n")
        f.write(main_src)
        f.write("\n// The sign beside an error message.\n")
        f.write(err_src)


if __name__ == "__main__":
    main()
