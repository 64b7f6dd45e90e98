#!/usr/bin/env python3
"""Draws the player's button, row and volume pictures as 48 x 48 RGBA PNG files into resources/images/.

Every picture is a few filled shapes (polygons, rectangles, circles, rings) in one dark grey on a transparent
background, rendered with 4 x 4 supersampling for smooth edges. Run it from anywhere; it rewrites the files:

    python3 tools/images/draw_pictures.py
"""
import math
import os
import struct
import zlib

SIZE = 48
SAMPLES = 4
INK = (32, 32, 32)
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "images")


def inside_polygon(x, y, points):
    hit = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def polygon(*points):
    return lambda x, y: inside_polygon(x, y, points)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1


def ring(cx, cy, r, width, start_deg=0, end_deg=360):
    def test(x, y):
        d = math.hypot(x - cx, y - cy)
        if not (r - width / 2 <= d <= r + width / 2):
            return False
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return start_deg <= angle <= end_deg
    return test


def speaker():
    return [rect(8, 18, 16, 30), polygon((16, 18), (26, 9), (26, 39), (16, 30))]


def waves(count):
    return [ring(26, 24, 7 + 7 * i, 3, 0, 50) for i in range(count)] + \
           [ring(26, 24, 7 + 7 * i, 3, 310, 360) for i in range(count)]


def folder_with_sign(plus):
    folder = [polygon((2, 10), (14, 10), (18, 14), (32, 14), (32, 20), (2, 20)), rect(2, 20, 32, 38)]
    # the sign sits in a gap cut around it: drawn over a clear disc by leaving its ring empty
    sign = [rect(30, 30, 46, 35)]
    if plus:
        sign.append(rect(35.5, 24.5, 40.5, 40.5))
    gap = circle(38, 32.5, 10.5)
    return [lambda x, y, f=folder: any(s(x, y) for s in f) and not gap(x, y)] + sign


PICTURES = {
    # row icons of the item list: a note for a track, a folder for anything that opens
    "row-track": [ellipse(17, 36, 8.5, 6), rect(22, 7, 25.5, 36), polygon((25.5, 7), (38, 14), (38, 21), (25.5, 14))],
    "row-folder": [polygon((4, 12), (18, 12), (22, 16), (44, 16), (44, 40), (4, 40))],
    "fullscreen": [polygon((6, 6), (18, 6), (6, 18)), polygon((42, 6), (42, 18), (30, 6)),
                   polygon((6, 42), (6, 30), (18, 42)), polygon((42, 42), (30, 42), (42, 30)),
                   rect(14, 14, 34, 34)],
    "pause": [rect(12, 8, 20, 40), rect(28, 8, 36, 40)],
    "play": [polygon((12, 6), (40, 24), (12, 42))],
    "menu": [rect(8, 10, 40, 15), rect(8, 21, 40, 26), rect(8, 32, 40, 37)],
    "volume-high": speaker() + waves(3),
    "back": [polygon((6, 24), (24, 8), (24, 18), (42, 18), (42, 30), (24, 30), (24, 40))],
    "forward": [polygon((42, 24), (24, 8), (24, 18), (6, 18), (6, 30), (24, 30), (24, 40))],
    "volume-medium": speaker() + waves(2),
    "volume-low": speaker() + waves(1),
    "volume-muted": speaker() + [polygon((30, 17), (33, 14), (44, 31), (41, 34)),
                                 polygon((41, 14), (44, 17), (33, 34), (30, 31))],
    "rewind": [polygon((4, 24), (24, 10), (24, 38)), polygon((22, 24), (42, 10), (42, 38))],
    "fastforward": [polygon((44, 24), (24, 10), (24, 38)), polygon((26, 24), (6, 10), (6, 38))],
    "repeat": [ring(24, 24, 14, 5, 20, 340), polygon((34, 14), (44, 6), (44, 20))],
    # the Music folders page's Add and Remove: a folder with a plus or a minus sign beside it
    "folder-add": folder_with_sign(plus=True),
    "folder-remove": folder_with_sign(plus=False),
}


def render(shapes):
    rows = []
    step = 1.0 / SAMPLES
    for y in range(SIZE):
        row = bytearray([0])  # filter type: none
        for x in range(SIZE):
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px, py = x + (sx + 0.5) * step, y + (sy + 0.5) * step
                    if any(shape(px, py) for shape in shapes):
                        covered += 1
            alpha = round(255 * covered / (SAMPLES * SAMPLES))
            row += bytes(INK) + bytes([alpha])
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(pixels):
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(pixels, 9)) + \
        chunk(b"IEND", b"")


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, shapes in PICTURES.items():
        with open(os.path.join(OUT, name + ".png"), "wb") as f:
            f.write(png(render(shapes)))


if __name__ == "__main__":
    main()
