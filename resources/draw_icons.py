#!/usr/bin/env python3
"""Draws the tool's images into resources/images/.

Standard library only: every image is a list of painting steps (a colour and
a shape), rasterised with 4 x 4 supersampling for anti-aliased edges and
written as 8-bit RGBA PNG (zlib + struct). window.ico holds the application
icon as 32-bit DIB entries of 16, 32 and 48 pixels.

Run from anywhere:  python3 resources/draw_icons.py
The output is deterministic, so re-running it leaves git clean.
"""

import math
import os
import struct
import zlib

OUT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "images")


# --- colours ----------------------------------------------------------------

def rgb(hex_text, alpha=1.0):
    hex_text = hex_text.lstrip("#")
    return (int(hex_text[0:2], 16), int(hex_text[2:4], 16), int(hex_text[4:6], 16), alpha)


WHITE = rgb("ffffff")
BLUE = rgb("3096f8")
DARK_BLUE = rgb("117ee0")
GREY_TEXT = rgb("5a6470")
BORDER = rgb("8c9aab")
DISABLED_FILL = rgb("e4e7eb")
DISABLED_BORDER = rgb("b8bec6")


# --- shapes: predicates on a point (x, y) in pixel units ----------------------

def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def line(points, width):
    """A polyline of the given width with round joins and caps."""
    pairs = list(zip(points, points[1:]))
    half = width / 2.0
    return lambda x, y: any(seg_dist(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in pairs)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def round_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return math.hypot(x - cx, y - cy) <= r
    return inside


def frame_of(outer, inner):
    """Inside outer but not inside inner: an outline."""
    return lambda x, y: outer(x, y) and not inner(x, y)


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) <= r


def ring(cx, cy, r, width):
    half = width / 2.0
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) <= half


def arc(cx, cy, r, width, start_deg, end_deg):
    """Ring segment from start to end angle, counter-clockwise, y pointing up."""
    half = width / 2.0

    def inside(x, y):
        if abs(math.hypot(x - cx, y - cy) - r) > half:
            return False
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360.0
        span = (end_deg - start_deg) % 360.0
        return (angle - start_deg) % 360.0 <= span
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


# --- rasteriser ---------------------------------------------------------------

ERASE = None  # a step with this colour clears what lies below its shape


def render(width, height, steps, samples=4):
    """Paints the steps in order (source-over) and returns rows of RGBA bytes."""
    offsets = [(i + 0.5) / samples for i in range(samples)]
    count = float(samples * samples)
    pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]
    for colour, shape in steps:
        for py in range(height):
            for px in range(width):
                hits = sum(1 for oy in offsets for ox in offsets if shape(px + ox, py + oy))
                if hits == 0:
                    continue
                cover = hits / count
                pixel = pixels[py * width + px]
                if colour is ERASE:
                    pixel[3] *= 1.0 - cover
                    continue
                src_a = colour[3] * cover
                out_a = src_a + pixel[3] * (1.0 - src_a)
                for c in range(3):
                    src = colour[c] / 255.0
                    blended = src * src_a + pixel[c] * pixel[3] * (1.0 - src_a)
                    pixel[c] = blended / out_a if out_a > 0 else 0.0
                pixel[3] = out_a
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            r, g, b, a = pixels[py * width + px]
            row += bytes(int(round(v * 255)) for v in (r, g, b, a)) if a > 0 else b"\0\0\0\0"
        rows.append(bytes(row))
    return rows


# --- file writers -------------------------------------------------------------

def png_bytes(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico_bytes(images):
    """images: list of (size, rows). Writes 32-bit BGRA DIB entries with an AND mask."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, rows in images:
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        bgra = bytearray()
        for row in reversed(rows):  # DIB rows run bottom-up
            for i in range(0, len(row), 4):
                r, g, b, a = row[i:i + 4]
                bgra += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytes(mask_stride * size)  # alpha decides; the mask stays all opaque
        blob = info + bytes(bgra) + mask
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def save_png(name, width, height, steps, samples=4):
    rows = render(width, height, steps, samples)
    with open(os.path.join(OUT_DIR, name), "wb") as out:
        out.write(png_bytes(width, height, rows))


# --- the images ---------------------------------------------------------------

def title_button_steps(kind):
    """White 16 x 16 glyphs for the title-bar buttons."""
    w = 1.3
    if kind == "close":
        return [(WHITE, line([(3.5, 3.5), (12.5, 12.5)], 1.5)),
                (WHITE, line([(12.5, 3.5), (3.5, 12.5)], 1.5))]
    if kind == "maximize":
        return [(WHITE, frame_of(rect(3, 3, 13, 13), rect(4, 5, 12, 12)))]
    if kind == "restore":
        return [(WHITE, frame_of(rect(5, 3, 13, 11), rect(6, 4, 12, 10))),
                (ERASE, rect(2, 4, 12, 14)),
                (WHITE, frame_of(rect(3, 5, 11, 13), rect(4, 7, 10, 12)))]
    if kind == "minimize":
        return [(WHITE, rect(3, 8, 13, 9))]
    if kind == "help":
        return [(WHITE, ring(8, 8, 6.6, w)),
                (WHITE, arc(8, 6.4, 2.1, 1.4, 300, 180)),
                (WHITE, line([(9.05, 8.2), (8.0, 9.0), (8.0, 9.8)], 1.4)),
                (WHITE, circle(8, 11.9, 0.95))]
    if kind == "fullscreen":  # corners pointing outwards
        t = 1.0
        return [(WHITE, line([(2.5, 6.5), (2.5, 2.5), (6.5, 2.5)], t)),
                (WHITE, line([(9.5, 2.5), (13.5, 2.5), (13.5, 6.5)], t)),
                (WHITE, line([(13.5, 9.5), (13.5, 13.5), (9.5, 13.5)], t)),
                (WHITE, line([(6.5, 13.5), (2.5, 13.5), (2.5, 9.5)], t))]
    if kind == "fullscreen_exit":  # corners pointing inwards
        t = 1.0
        return [(WHITE, line([(2.5, 6.5), (6.5, 6.5), (6.5, 2.5)], t)),
                (WHITE, line([(9.5, 2.5), (9.5, 6.5), (13.5, 6.5)], t)),
                (WHITE, line([(13.5, 9.5), (9.5, 9.5), (9.5, 13.5)], t)),
                (WHITE, line([(6.5, 13.5), (6.5, 9.5), (2.5, 9.5)], t))]
    raise ValueError(kind)


def app_icon_steps(size):
    """The module on a white tile: Wi-Fi arcs above a small box with two lamps."""
    s = size / 64.0

    def p(v):
        return v * s

    return [(DARK_BLUE, round_rect(p(2), p(2), p(62), p(62), p(12))),
            (WHITE, round_rect(p(5), p(5), p(59), p(59), p(9.5))),
            (BLUE, arc(p(32), p(37), p(24), p(4.6), 45, 135)),
            (BLUE, arc(p(32), p(37), p(16), p(4.6), 45, 135)),
            (BLUE, arc(p(32), p(37), p(8), p(4.6), 45, 135)),
            (DARK_BLUE, round_rect(p(12), p(40), p(52), p(54), p(3))),
            (WHITE, circle(p(20), p(47), p(2.4))),
            (rgb("7ee08a"), circle(p(28), p(47), p(2.4))),
            (WHITE, rect(p(35), p(45.8), p(46), p(48.2)))]


def eye_steps():
    """A 20 x 20 grey eye: a lens outline and the pupil."""
    upper, lower = (10, 16.5, 11), (10, 3.5, 11)
    lens = both(circle(*upper), circle(*lower))
    inner = both(circle(upper[0], upper[1], upper[2] - 1.5), circle(lower[0], lower[1], lower[2] - 1.5))
    return [(GREY_TEXT, frame_of(lens, inner)), (GREY_TEXT, circle(10, 10, 3.2)),
            (WHITE, circle(11.1, 8.9, 1.0))]


def checkbox_steps(state):
    outer = round_rect(1, 1, 15, 15, 2.5)
    inner = round_rect(2, 2, 14, 14, 1.7)
    if state == "checked":
        return [(BLUE, outer), (WHITE, line([(4.3, 8.2), (7.0, 10.9), (11.8, 5.4)], 1.8))]
    if state == "disabled":
        return [(DISABLED_BORDER, outer), (DISABLED_FILL, inner)]
    return [(BORDER, outer), (WHITE, inner)]


def radio_steps(state):
    if state == "checked":
        return [(BLUE, circle(8, 8, 7)), (WHITE, circle(8, 8, 5.6)), (BLUE, circle(8, 8, 3.4))]
    if state == "disabled":
        return [(DISABLED_BORDER, circle(8, 8, 7)), (DISABLED_FILL, circle(8, 8, 6))]
    return [(BORDER, circle(8, 8, 7)), (WHITE, circle(8, 8, 6))]


def titlebar_background_steps(width, height):
    """Faint arcs on the right of the title bar, fading to nothing on the left."""
    steps = []
    for i, r in enumerate((70, 95, 120, 145, 170)):
        alpha = 0.11 - 0.015 * i
        steps.append((rgb("ffffff", alpha), ring(width - 30, height + 40, r, 7)))
    steps.append((rgb("ffffff", 0.07), circle(width - 90, -30, 60)))
    return steps


def main():
    os.makedirs(OUT_DIR, exist_ok=True)
    for kind in ("close", "maximize", "restore", "minimize", "help"):
        save_png("icon_window_%s.png" % kind, 16, 16, title_button_steps(kind))
    save_png("fullscreen.png", 16, 16, title_button_steps("fullscreen"))
    save_png("fullscreen_exit.png", 16, 16, title_button_steps("fullscreen_exit"))

    save_png("icon.png", 64, 64, app_icon_steps(64))
    icons = [(size, render(size, size, app_icon_steps(size))) for size in (16, 32, 48)]
    with open(os.path.join(OUT_DIR, "window.ico"), "wb") as out:
        out.write(ico_bytes(icons))

    save_png("6.png", 320, 42, titlebar_background_steps(320, 42), samples=2)
    save_png("openEye.png", 20, 20, eye_steps())

    save_png("sort_up.png", 12, 8, [(WHITE, polygon([(1.5, 7), (6, 1.5), (10.5, 7)]))])
    save_png("sort_down.png", 12, 8, [(WHITE, polygon([(1.5, 1), (6, 6.5), (10.5, 1)]))])
    save_png("caret-left.png", 12, 12, [(GREY_TEXT, polygon([(8.5, 2), (3, 6), (8.5, 10)]))])
    save_png("caret-right.png", 12, 12, [(GREY_TEXT, polygon([(3.5, 2), (9, 6), (3.5, 10)]))])

    save_png("checkbox.png", 16, 16, checkbox_steps("normal"))
    save_png("checkbox--checked.png", 16, 16, checkbox_steps("checked"))
    save_png("checkbox_dis.png", 16, 16, checkbox_steps("disabled"))
    save_png("radio-button.png", 16, 16, radio_steps("normal"))
    save_png("radio-button--checked.png", 16, 16, radio_steps("checked"))
    save_png("radio-button_dis.png", 16, 16, radio_steps("disabled"))

    funnel = polygon([(1.5, 2), (14.5, 2), (9.5, 8.5), (9.5, 14), (6.5, 12.5), (6.5, 8.5)])
    save_png("filter.png", 16, 16, [(GREY_TEXT, funnel)])


if __name__ == "__main__":
    main()
