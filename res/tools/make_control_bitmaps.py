#!/usr/bin/env python3
"""Draws the bitmaps of the skinned controls (plain Python, no imaging library).

    python3 res/tools/make_control_bitmaps.py [--check]

Writes, as uncompressed 24-bit BMP files:
  res/bitmaps/progress_track.bmp   (139, 453x34)  progress bar background
  res/bitmaps/progress_fill.bmp    (141, 453x34)  progress bar fill
  res/bitmaps/button_normal.bmp    (136, 89x30)   button face, idle (also disabled)
  res/bitmaps/button_over.bmp      (142, 89x30)   button face under the mouse
  res/bitmaps/button_down.bmp      (143, 89x30)   button face while pressed
  res/bitmaps/button_focus.bmp     (144, 89x30)   button face with the keyboard focus
each also drawn at 150 % and 200 % (NAME_150.bmp and NAME_200.bmp, resource
ids + 1500 and + 2000) for screens of higher DPI,
and the masks the Windows tests of the skin button load:
  tests/win/ui/bitmaps/mask_half.bmp      40x20, white left half, black right half
  tests/win/ui/bitmaps/mask_lastcol.bmp   12x3, one black pixel in the last column of row 1
  tests/win/ui/bitmaps/mask_white.bmp     8x8, all white

The pictures belong to the update window's family: a deep navy window
(#0E2746 at the top to #081A30 at the bottom), light-blue status text and
white button captions. Everything is computed, so the files are the same on
every run. --check compares instead of writing and fails on a difference.
"""

import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))

WINDOW_TOP = (0x0E, 0x27, 0x46)
WINDOW_BOTTOM = (0x08, 0x1A, 0x30)


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def window_at(fraction):
    """The window background colour at a height fraction of the window."""
    return lerp(WINDOW_TOP, WINDOW_BOTTOM, fraction)


def bmp_bytes(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = (max(0, min(255, int(round(c)))) for c in pixel(x, y))
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + data


def rounded_coverage(x, y, width, height, radius, inset):
    """Share of pixel (x, y) inside a rounded rectangle shrunk by `inset`,
    estimated with 4x4 samples."""
    inside = 0
    for sy in range(4):
        for sx in range(4):
            px = x + (sx + 0.5) / 4
            py = y + (sy + 0.5) / 4
            left, top = inset, inset
            right, bottom = width - inset, height - inset
            r = max(radius - inset, 0)
            if not (left <= px <= right and top <= py <= bottom):
                continue
            cx = min(max(px, left + r), right - r)
            cy = min(max(py, top + r), bottom - r)
            if (px - cx) ** 2 + (py - cy) ** 2 <= r * r:
                inside += 1
    return inside / 16


def scaled(size, scale):
    return int(size * scale + 0.5)


def rounded_picture(width, height, radius, outside, rim, face, scale=1.0, ring=None):
    """A rounded shape of design size width x height drawn at `scale`:
    `outside` around it, a rim one design pixel wide, `face(x, y)` within
    (design coordinates). `ring`, a colour, draws a focus ring two design
    pixels wide just inside the rim."""

    def pixel(x, y):
        w, h, r = scaled(width, scale), scaled(height, scale), radius * scale
        outer = rounded_coverage(x, y, w, h, r, 0)
        inner = rounded_coverage(x, y, w, h, r, scale)
        colour = lerp(outside, rim, outer)
        colour = lerp(colour, face(x / scale, y / scale), inner)
        if ring:
            band = inner - rounded_coverage(x, y, w, h, r, 3 * scale)
            colour = lerp(colour, ring, 0.85 * band)
        return colour

    return pixel


def progress_track(scale=1.0):
    width, height = 453, 34
    outside = window_at(76 / 150)  # where the bar sits in the window
    rim = (0x2C, 0x55, 0x82)

    def face(x, y):
        t = (y - 1) / (height - 3)
        colour = lerp((0x0A, 0x1E, 0x38), (0x15, 0x35, 0x5C), t)
        if 1 <= y < 2:  # inner shadow under the top rim: the track looks sunk in
            colour = lerp(colour, (0x03, 0x0C, 0x18), 0.6)
        return colour

    return scaled(width, scale), scaled(height, scale), rounded_picture(width, height, 4, outside, rim, face, scale)


def progress_fill(scale=1.0):
    width, height = 453, 34
    outside = window_at(76 / 150)
    rim = (0x2C, 0x55, 0x82)  # the track's rim, so the fill sits inside it
    top, bottom = (0xA9, 0xDC, 0xF7), (0x5B, 0xB6, 0xE5)

    def face(x, y):
        t = (y - 1) / (height - 3)
        colour = lerp(top, bottom, t)
        # a soft highlight over the upper third
        glow = max(0.0, 1 - (y - 1) / 11)
        return lerp(colour, (0xFF, 0xFF, 0xFF), 0.35 * glow * glow)

    return scaled(width, scale), scaled(height, scale), rounded_picture(width, height, 4, outside, rim, face, scale)


def button(top, bottom, rim, sheen, scale=1.0, ring=None):
    width, height = 89, 30
    outside = window_at(135 / 150)

    def face(x, y):
        t = (y - 1) / (height - 3)
        colour = lerp(top, bottom, t)
        if 1 <= y < 2:  # a thin sheen (or shadow) just inside the top rim
            colour = lerp(colour, sheen[0], sheen[1])
        return colour

    picture = rounded_picture(width, height, 4, outside, rim, face, scale, ring)
    return scaled(width, scale), scaled(height, scale), picture


NORMAL = ((0x2E, 0x62, 0x9C), (0x16, 0x38, 0x63), (0x6F, 0xA3, 0xD8), ((0xB8, 0xD8, 0xF8), 0.35))
STATUS_BLUE = (150, 199, 255)  # the status line's colour


def button_normal(scale=1.0):
    return button(*NORMAL, scale=scale)


def button_over(scale=1.0):
    return button((0x45, 0x86, 0xC8), (0x22, 0x52, 0x8A), (0xA9, 0xD4, 0xFF), ((0xE4, 0xF2, 0xFF), 0.45), scale)


def button_down(scale=1.0):
    # darker, with the gradient turned over, and a shadow under the top rim
    return button((0x0E, 0x26, 0x45), (0x1E, 0x44, 0x72), (0x4F, 0x7F, 0xB3), ((0x02, 0x08, 0x12), 0.6), scale)


def button_focus(scale=1.0):
    # the idle face with a ring in the status line's blue inside its rim
    return button(*NORMAL, scale=scale, ring=STATUS_BLUE)


def mask(width, height, black):
    def pixel(x, y):
        return (0, 0, 0) if black(x, y) else (255, 255, 255)

    return width, height, pixel


SKIN = {
    "progress_track": progress_track,
    "progress_fill": progress_fill,
    "button_normal": button_normal,
    "button_over": button_over,
    "button_down": button_down,
    "button_focus": button_focus,
}
PICTURES = {"res/bitmaps/%s%s.bmp" % (name, suffix): (lambda draw=draw, scale=scale: draw(scale))
            for name, draw in SKIN.items() for suffix, scale in (("", 1.0), ("_150", 1.5), ("_200", 2.0))}
PICTURES.update({
    "tests/win/ui/bitmaps/mask_half.bmp": lambda: mask(40, 20, lambda x, y: x >= 20),
    "tests/win/ui/bitmaps/mask_lastcol.bmp": lambda: mask(12, 3, lambda x, y: y == 1 and x == 11),
    "tests/win/ui/bitmaps/mask_white.bmp": lambda: mask(8, 8, lambda x, y: False),
})


def main(argv):
    check = "--check" in argv[1:]
    failed = False
    for rel, make in PICTURES.items():
        width, height, pixel = make()
        data = bmp_bytes(width, height, pixel)
        path = os.path.join(ROOT, rel)
        if check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                print("differs: " + rel)
                failed = True
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote " + rel)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
