#!/usr/bin/env python3
"""Draws the update window's background (bitmap 134, and 1634 and 2134: the
same at 150 % and 200 %) and the program icon (icon group 128) and writes
them as res/art/background.bmp, background_150.bmp, background_200.bmp and
res/art/Veldrun.ico. Plain Python, no imaging library, so the pictures can
be remade anywhere:

    python3 res/tools/make_window_art.py [output folder]
    python3 res/tools/make_window_art.py --check   (fails when res/art is stale)

The background is 498 x 225 pixels at 96 DPI, uncompressed 24-bit; the
window's client area is sized to it (one dialog unit of the template is 1.5
pixels of the picture), and at higher DPI the window shows the picture drawn
at the nearest scale at or above its own, so nothing is enlarged. The status line (dialog units x 19
to 286, y 37 to 54) and the progress bar (x 15 to 317, y 65 to 87) are kept
plain and dark; the decoration fades out before it reaches them.

The icon holds 48, 32, 24 and 16 pixel images, each at 32 bits (with alpha),
8 bits and 4 bits per pixel (palettes made by median cut).
"""

import math
import os
import struct
import sys

WIDTH, HEIGHT = 498, 225
TOP = (0x0E, 0x27, 0x46)      # window navy, top
BOTTOM = (0x08, 0x1A, 0x30)   # window navy, bottom
TEXT_BLUE = (150, 199, 255)   # the status text colour
MARK_BLUE = (120, 170, 228)   # wordmark: quieter than the status text
BAND_BLUE = (96, 156, 228)

# Areas of the picture that stay plain (pixels, inclusive-exclusive), from
# the dialog-unit rectangles above times 1.5, with a margin.
PROTECTED = [
    (19 * 1.5, 37 * 1.5, 286 * 1.5, 54 * 1.5),   # status line
    (15 * 1.5, 65 * 1.5, 317 * 1.5, 87 * 1.5),   # progress bar
]


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3 - 2 * t)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def seg_dist(px, py, ax, ay, bx, by):
    """Distance from point p to the segment a-b."""
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy
    t = 0.0 if ll == 0 else clamp(((px - ax) * dx + (py - ay) * dy) / ll)
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def arc_points(cx, cy, r, a0, a1, steps=16):
    """Points of a circular arc, angles in degrees, y pointing up."""
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


# --------------------------------------------------------------- wordmark

# A small stroke alphabet for "Veldrun": baseline y 0, x-height 5, cap 7,
# y pointing up. Each glyph: (advance width, list of polylines).
GLYPHS = {
    "V": (5.0, [[(0, 7), (2.5, 0), (5, 7)]]),
    "e": (5.0, [[(0.2, 2.5), (5, 2.5)] + arc_points(2.5, 2.5, 2.5, 0, 315, 20)]),
    "l": (0.0, [[(0, 7.2), (0, 0)]]),
    "d": (5.0, [arc_points(2.5, 2.5, 2.5, 0, 360, 24), [(5, 7.2), (5, 0)]]),
    "r": (3.6, [[(0, 5), (0, 0)], arc_points(2.5, 2.5, 2.5, 180, 70, 10)]),
    "u": (5.0, [[(0, 5), (0, 2.5)] + arc_points(2.5, 2.5, 2.5, 180, 360, 16) + [(5, 5)], [(5, 5), (5, 0)]]),
    "n": (5.0, [[(0, 5), (0, 0)], [(0, 2.5)] + arc_points(2.5, 2.5, 2.5, 180, 0, 16) + [(5, 0)]]),
}


def wordmark_segments(text, x0, baseline, unit, gap):
    segs = []
    x = x0
    for ch in text:
        adv, lines = GLYPHS[ch]
        for line in lines:
            pts = [(x + px * unit, baseline - py * unit) for px, py in line]
            segs.extend((pts[i][0], pts[i][1], pts[i + 1][0], pts[i + 1][1]) for i in range(len(pts) - 1))
        x += adv * unit + gap
    return segs, x - gap


def mark_segments(cx, cy, r):
    """The product mark: a ring open at the top with a downward arrow."""
    ring = arc_points(cx, cy, r, 115, 425, 28)
    ring = [(px, 2 * cy - py) for px, py in ring]  # y down
    segs = [(ring[i][0], ring[i][1], ring[i + 1][0], ring[i + 1][1]) for i in range(len(ring) - 1)]
    top, tip = cy - r * 0.95, cy + r * 0.45
    segs.append((cx, top, cx, tip))
    segs.append((cx - r * 0.45, tip - r * 0.45, cx, tip))
    segs.append((cx + r * 0.45, tip - r * 0.45, cx, tip))
    return segs


def stroke_coverage(segs, width, px, py, scale=1.0):
    """Share of a device pixel at design point (px, py) that a stroke of
    `width` design pixels covers, with half a device pixel of smoothing."""
    d = min(seg_dist(px, py, *s) for s in segs)
    return clamp((width / 2 - d) * scale + 0.5)


def protected_fade(x, y, margin=12.0):
    """1 far from the plain areas, 0 inside them."""
    f = 1.0
    for (x0, y0, x1, y1) in PROTECTED:
        dx = max(x0 - x, 0.0, x - x1)
        dy = max(y0 - y, 0.0, y - y1)
        f = min(f, clamp(math.sqrt(dx * dx + dy * dy) / margin))
    return f


def draw_background(scale=1.0):
    """The background at `scale` times its design size; every shape is
    placed in design pixels and drawn with device-pixel edges."""
    rows = []
    word, word_end = wordmark_segments("Veldrun", 52.0, 36.0, 2.1, 3.6)
    mark = mark_segments(37.0, 27.0, 8.5)
    box = (26, 12, int(word_end) + 4, 42)
    arc_center, arc_radii = (560.0, -70.0), (140.0, 166.0, 192.0, 218.0)
    band_y = 162.0
    width, height = int(WIDTH * scale + 0.5), int(HEIGHT * scale + 0.5)
    for y in range(height):
        base = mix(TOP, BOTTOM, y / (height - 1))
        row = []
        for x in range(width):
            c = base
            cx, cy = (x + 0.5) / scale, (y + 0.5) / scale
            # A soft light at the upper right, falling off with distance; too
            # faint to trouble the text, so it is not kept out of the plain areas.
            glow = math.exp(-(((cx - 470) / 210) ** 2 + ((cy + 20) / 120) ** 2)) * 0.10
            # Thin arcs around a centre beyond the upper right corner.
            d = math.hypot(cx - arc_center[0], cy - arc_center[1])
            arcs = 0.0
            for i, r in enumerate(arc_radii):
                arcs = max(arcs, clamp((0.6 - abs(d - r)) * scale + 0.5) * (0.22 - 0.035 * i))
            arcs *= 1.0 - smoothstep(30.0, 120.0, cy)
            # A horizon line of light between the progress bar and the button.
            env = math.sin(math.pi * clamp((cx - 22) / (476 - 22))) ** 1.5
            band = (math.exp(-((cy - band_y) / 1.1) ** 2) * 0.45 + math.exp(-((cy - band_y) / 12.0) ** 2) * 0.07) * env
            fade = protected_fade(cx, cy)
            c = mix(c, BAND_BLUE, clamp(glow + arcs * fade))
            c = mix(c, BAND_BLUE, clamp(band * fade))
            if box[0] <= x / scale <= box[2] and box[1] <= y / scale <= box[3]:
                c = mix(c, MARK_BLUE, stroke_coverage(word, 2.0, cx, cy, scale) * 0.9)
                c = mix(c, TEXT_BLUE, stroke_coverage(mark, 2.0, cx, cy, scale))
            row.append(tuple(int(round(clamp(v, 0, 255))) for v in c))
        rows.append(row)
    return rows


def write_bmp24(path, rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    filehdr = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    with open(path, "wb") as f:
        f.write(filehdr + header + data)


# -------------------------------------------------------------------- icon

def icon_rgba(size):
    """One icon image as rows of (r, g, b, a), 4 x 4 supersampled."""
    s = float(size)
    radius = s * 0.2
    ring_r, ring_w = s * 0.31, max(s * 0.085, 1.3)
    cx = cy = s / 2
    ring = arc_points(cx, cy, ring_r, 115, 425, 32)
    ring = [(px, 2 * cy - py) for px, py in ring]
    ring_segs = [(ring[i][0], ring[i][1], ring[i + 1][0], ring[i + 1][1]) for i in range(len(ring) - 1)]
    arrow_w = max(s * 0.095, 1.4)
    top, tip = cy - ring_r * 0.95, cy + ring_r * 0.5
    head = ring_r * 0.5
    arrow = [(cx, top, cx, tip), (cx - head, tip - head, cx, tip), (cx + head, tip - head, cx, tip)]
    n = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    px, py = x + (sx + 0.5) / n, y + (sy + 0.5) / n
                    # Rounded square.
                    qx = max(abs(px - cx) - (cx - radius), 0.0)
                    qy = max(abs(py - cy) - (cy - radius), 0.0)
                    if math.hypot(qx, qy) > radius:
                        continue
                    col = mix((34, 84, 150), BOTTOM, py / s)
                    if math.hypot(qx, qy) > radius - max(s / 32, 0.6):
                        col = mix(col, TEXT_BLUE, 0.35)  # a thin light rim
                    if min(seg_dist(px, py, *sg) for sg in ring_segs) <= ring_w / 2:
                        col = TEXT_BLUE
                    if min(seg_dist(px, py, *sg) for sg in arrow) <= arrow_w / 2:
                        col = (240, 248, 255)
                    acc[0] += col[0]
                    acc[1] += col[1]
                    acc[2] += col[2]
                    acc[3] += 1
            a = acc[3] / (n * n)
            if acc[3]:
                row.append((acc[0] / acc[3], acc[1] / acc[3], acc[2] / acc[3], a))
            else:
                row.append((0.0, 0.0, 0.0, 0.0))
        rows.append(row)
    return rows


def median_cut(colors, count):
    boxes = [list(colors)]
    while len(boxes) < count:
        best, best_range, best_ch = None, -1, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                vals = [c[ch] for c in box]
                rng = max(vals) - min(vals)
                if rng > best_range:
                    best, best_range, best_ch = i, rng, ch
        if best is None or best_range <= 0:
            break
        box = sorted(boxes.pop(best), key=lambda c: c[best_ch])
        mid = len(box) // 2
        boxes += [box[:mid], box[mid:]]
    pal = []
    for box in boxes:
        pal.append(tuple(int(round(sum(c[ch] for c in box) / len(box))) for ch in range(3)))
    return pal


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((pal[i][k] - c[k]) ** 2 for k in range(3)))


def and_mask(rows, w, h, opaque):
    stride = ((w + 31) // 32) * 4
    data = bytearray()
    for y in reversed(range(h)):
        line = bytearray(stride)
        for x in range(w):
            if not opaque(rows[y][x]):
                line[x // 8] |= 0x80 >> (x % 8)
        data += line
    return data


def icon_image(rows, bpp):
    """A DIB as stored in an icon file: header (double height), palette,
    colour bits, AND mask."""
    h, w = len(rows), len(rows[0])
    data = bytearray()
    if bpp == 32:
        for y in reversed(range(h)):
            for r, g, b, a in rows[y]:
                data += bytes((int(round(b)), int(round(g)), int(round(r)), int(round(a * 255))))
        palette = b""
        mask = and_mask(rows, w, h, lambda p: p[3] > 0)
    else:
        opaque = [(r, g, b) for row in rows for (r, g, b, a) in row if a >= 0.5]
        pal = median_cut(opaque, (1 << bpp) - 1)
        pal = [(0, 0, 0)] + pal  # index 0: under the transparent pixels
        pal += [(0, 0, 0)] * ((1 << bpp) - len(pal))
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in pal)
        stride = ((w * bpp + 31) // 32) * 4
        cache = {}
        for y in reversed(range(h)):
            line = bytearray(stride)
            for x in range(w):
                r, g, b, a = rows[y][x]
                idx = 0
                if a >= 0.5:
                    key = (int(r), int(g), int(b))
                    if key not in cache:
                        cache[key] = nearest(pal[1:], key) + 1
                    idx = cache[key]
                if bpp == 8:
                    line[x] = idx
                else:
                    line[x // 2] |= idx << (4 if x % 2 == 0 else 0)
            data += line
        mask = and_mask(rows, w, h, lambda p: p[3] >= 0.5)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bpp, 0, len(data) + len(mask), 0, 0, 0, 0)
    return header + palette + data + mask


def write_ico(path, sizes, depths):
    images = []
    for size in sizes:
        rows = icon_rgba(size)
        for bpp in depths:
            images.append((size, bpp, icon_image(rows, bpp)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, blob in images:
        colors = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colors, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    for _, _, blob in images:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    art = os.path.join(os.path.dirname(here), "art")
    check = "--check" in argv
    args = [a for a in argv if a != "--check"]
    out = args[0] if args else art
    pictures = {
        "background.bmp": lambda path: write_bmp24(path, draw_background()),
        "background_150.bmp": lambda path: write_bmp24(path, draw_background(1.5)),
        "background_200.bmp": lambda path: write_bmp24(path, draw_background(2.0)),
        "Veldrun.ico": lambda path: write_ico(path, (48, 32, 24, 16), (32, 8, 4)),
    }
    if not check:
        os.makedirs(out, exist_ok=True)
        for name, draw in pictures.items():
            draw(os.path.join(out, name))
            print("wrote", os.path.join(out, name))
        return 0
    # --check: draw into a scratch folder and compare with the committed files.
    import tempfile
    stale = []
    with tempfile.TemporaryDirectory() as tmp:
        for name, draw in pictures.items():
            draw(os.path.join(tmp, name))
            with open(os.path.join(tmp, name), "rb") as a:
                fresh = a.read()
            try:
                with open(os.path.join(art, name), "rb") as b:
                    same = b.read() == fresh
            except OSError:
                same = False
            if not same:
                stale.append(name)
    for name in stale:
        print("res/art/%s differs from what the script draws" % name)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
