#!/usr/bin/env python3
"""Draws Kestrin's delivered pictures and sounds into data/.

Run by hand after changing a picture or the alarm, then keep the files it
writes: the build copies them beside the programs and never runs this script.

    python3 data/sources/make_assets.py [OUTPUT_DIR]

Writes (into OUTPUT_DIR, by default the data/ folder above this one):
  fail.wav                 alarm of a failed port, 16-bit mono 22050 Hz
  prog_<KEY>.png           48x48 picture of each programmer type
  programmer.png           16x16 item icon of the main window's programmer list
  tb_<Button>.png          24x24 toolbar icons
  Sts1.bmp .. Sts4.bmp     32x32 frames of the "reading target" busy animation

Only the standard library is used, and the output is the same on every run.
"""

import math
import os
import struct
import sys
import wave
import zlib

# ---------------------------------------------------------------- file writers


def write_png(path, width, height, rgba):
    """rgba: list of rows, each a list of (r, g, b, a) byte tuples."""
    raw = bytearray()
    for row in rgba:
        raw.append(0)  # filter: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_bmp(path, width, height, rgb):
    """rgb: list of rows (top first), each a list of (r, g, b) byte tuples. 24-bit, bottom-up."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rgb):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(file_header + info_header + pixels)


def write_wav(path, rate, samples):
    """samples: floats in -1..1, written as 16-bit mono."""
    frames = bytearray()
    for s in samples:
        v = max(-32767, min(32767, int(round(s * 32767))))
        frames += struct.pack("<h", v)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


# ---------------------------------------------------------------- drawing

SS = 4  # samples per pixel along each axis


def hexcolor(text, alpha=255):
    text = text.lstrip("#")
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


def mix(c1, c2, t):
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(c1, c2))


class Canvas:
    """A picture drawn at SS x SS samples a pixel, kept premultiplied, then
    averaged down to whole pixels. Coordinates are in output pixels."""

    def __init__(self, width, height):
        self.w = width
        self.h = height
        self.sw = width * SS
        self.sh = height * SS
        self.buf = [[0.0, 0.0, 0.0, 0.0] for _ in range(self.sw * self.sh)]
        self.crisp = {}  # (x, y) -> colour, drawn over the averaged result

    # Blends colour over one sample.
    def _blend(self, i, color):
        r, g, b, a = color
        af = a / 255.0
        p = self.buf[i]
        k = 1.0 - af
        p[0] = r * af + p[0] * k
        p[1] = g * af + p[1] * k
        p[2] = b * af + p[2] * k
        p[3] = af + p[3] * k

    def fill_polygon(self, points, color, shade=None):
        """Even-odd fill of a closed polygon. shade(x, y) -> colour overrides color."""
        if not points:
            return
        ys = [p[1] for p in points]
        y0 = max(0, int(math.floor(min(ys) * SS)))
        y1 = min(self.sh - 1, int(math.ceil(max(ys) * SS)))
        n = len(points)
        edges = [(points[i], points[(i + 1) % n]) for i in range(n)]
        for sy in range(y0, y1 + 1):
            yc = (sy + 0.5) / SS
            xs = []
            for (ax, ay), (bx, by) in edges:
                if (ay <= yc < by) or (by <= yc < ay):
                    xs.append(ax + (yc - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for j in range(0, len(xs) - 1, 2):
                sx0 = max(0, int(math.ceil(xs[j] * SS - 0.5)))
                sx1 = min(self.sw - 1, int(math.floor(xs[j + 1] * SS - 0.5)))
                base = sy * self.sw
                for sx in range(sx0, sx1 + 1):
                    c = shade((sx + 0.5) / SS, yc) if shade else color
                    self._blend(base + sx, c)

    def rect(self, x0, y0, x1, y1, color, shade=None):
        self.fill_polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], color, shade)

    def round_rect(self, x0, y0, x1, y1, radius, color, shade=None):
        self.fill_polygon(round_rect_points(x0, y0, x1, y1, radius), color, shade)

    def frame_round_rect(self, x0, y0, x1, y1, radius, width, color):
        """An outline of the given width inside the rectangle."""
        outer = round_rect_points(x0, y0, x1, y1, radius)
        inner = round_rect_points(x0 + width, y0 + width, x1 - width, y1 - width, max(0.0, radius - width))
        self.fill_polygon(outer + [outer[0]] + list(reversed(inner)) + [inner[-1]], color)

    def ellipse(self, cx, cy, rx, ry, color, shade=None):
        steps = 48
        pts = [(cx + rx * math.cos(2 * math.pi * i / steps), cy + ry * math.sin(2 * math.pi * i / steps))
               for i in range(steps)]
        self.fill_polygon(pts, color, shade)

    def ring(self, cx, cy, r_out, r_in, color):
        steps = 64
        outer = [(cx + r_out * math.cos(2 * math.pi * i / steps), cy + r_out * math.sin(2 * math.pi * i / steps))
                 for i in range(steps + 1)]
        inner = [(cx + r_in * math.cos(2 * math.pi * i / steps), cy + r_in * math.sin(2 * math.pi * i / steps))
                 for i in range(steps, -1, -1)]
        self.fill_polygon(outer + inner, color)

    def arc(self, cx, cy, r_out, r_in, start_deg, sweep_deg, color, round_caps=True):
        """A thick arc; angles clockwise from 12 o'clock, as on a clock face."""
        steps = max(8, int(abs(sweep_deg) / 4))

        def at(r, deg):
            t = math.radians(deg)
            return (cx + r * math.sin(t), cy - r * math.cos(t))

        outer = [at(r_out, start_deg + sweep_deg * i / steps) for i in range(steps + 1)]
        inner = [at(r_in, start_deg + sweep_deg * i / steps) for i in range(steps, -1, -1)]
        self.fill_polygon(outer + inner, color)
        if round_caps:
            rm = (r_out + r_in) / 2
            half = (r_out - r_in) / 2
            for deg in (start_deg, start_deg + sweep_deg):
                x, y = at(rm, deg)
                self.ellipse(x, y, half, half, color)

    def line(self, x0, y0, x1, y1, width, color, caps=True):
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.fill_polygon([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], color)
        if caps:
            self.ellipse(x0, y0, width / 2, width / 2, color)
            self.ellipse(x1, y1, width / 2, width / 2, color)

    def text(self, x, y, label, color, scale=1):
        """Pixel-font text with its top-left corner at whole pixel (x, y), drawn crisp."""
        cx = x
        for ch in label:
            glyph = FONT[ch]
            width = len(glyph[0])
            for gy, bits in enumerate(glyph):
                for gx, bit in enumerate(bits):
                    if bit == "#":
                        for sy in range(scale):
                            for sx in range(scale):
                                self.crisp[(cx + gx * scale + sx, y + gy * scale + sy)] = color
            cx += (width + 1) * scale

    def pixels(self):
        """Rows of straight-alpha (r, g, b, a) byte tuples."""
        rows = []
        n = SS * SS
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r = g = b = a = 0.0
                for sy in range(SS):
                    base = (y * SS + sy) * self.sw + x * SS
                    for sx in range(SS):
                        p = self.buf[base + sx]
                        r += p[0]
                        g += p[1]
                        b += p[2]
                        a += p[3]
                a /= n
                if a <= 0.0:
                    px = (0, 0, 0, 0)
                else:
                    px = (int(round(r / n / a)), int(round(g / n / a)), int(round(b / n / a)), int(round(a * 255)))
                    px = tuple(max(0, min(255, v)) for v in px)
                c = self.crisp.get((x, y))
                if c is not None:
                    px = over(c, px)
                row.append(px)
            rows.append(row)
        return rows

    def flatten(self, background):
        """Rows of (r, g, b) over an opaque background colour."""
        return [[over(px, background)[:3] for px in row] for row in self.pixels()]


def over(top, bottom):
    ta = top[3] / 255.0
    ba = bottom[3] / 255.0
    oa = ta + ba * (1 - ta)
    if oa <= 0:
        return (0, 0, 0, 0)
    out = tuple(int(round((top[i] * ta + bottom[i] * ba * (1 - ta)) / oa)) for i in range(3))
    return out + (int(round(oa * 255)),)


def round_rect_points(x0, y0, x1, y1, radius):
    if radius <= 0:
        return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]
    pts = []
    corners = [(x1 - radius, y0 + radius, -90), (x1 - radius, y1 - radius, 0),
               (x0 + radius, y1 - radius, 90), (x0 + radius, y0 + radius, 180)]
    for cx, cy, start in corners:
        for i in range(7):
            t = math.radians(start + 90 * i / 6)
            pts.append((cx + radius * math.cos(t), cy + radius * math.sin(t)))
    return pts


def vgrad(y0, y1, top, bottom):
    def shade(x, y):
        t = 0.0 if y1 == y0 else max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return mix(top, bottom, t)
    return shade


# Pixel font, five rows high, for the programmer labels. Most glyphs are
# three columns wide; M and N need more to stay readable.
FONT = {
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "B": ["##.", "#.#", "##.", "#.#", "##."],
    "C": [".##", "#..", "#..", "#..", ".##"],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "E": ["###", "#..", "##.", "#..", "###"],
    "F": ["###", "#..", "##.", "#..", "#.."],
    "G": [".##", "#..", "#.#", "#.#", ".##"],
    "H": ["#.#", "#.#", "###", "#.#", "#.#"],
    "I": ["###", ".#.", ".#.", ".#.", "###"],
    "K": ["#.#", "#.#", "##.", "#.#", "#.#"],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "M": ["#...#", "##.##", "#.#.#", "#...#", "#...#"],
    "N": ["#..#", "##.#", "#.##", "#..#", "#..#"],
    "O": ["###", "#.#", "#.#", "#.#", "###"],
    "P": ["##.", "#.#", "##.", "#..", "#.."],
    "R": ["##.", "#.#", "##.", "#.#", "#.#"],
    "S": [".##", "#..", ".#.", "..#", "##."],
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "X": ["#.#", "#.#", ".#.", "#.#", "#.#"],
    "Z": ["###", "..#", ".#.", "#..", "###"],
    "0": [".#.", "#.#", "#.#", "#.#", ".#."],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["##.", "..#", ".#.", "#..", "###"],
    "3": ["##.", "..#", ".#.", "..#", "##."],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "##.", "..#", "##."],
    "6": [".##", "#..", "###", "#.#", "###"],
    "7": ["###", "..#", ".#.", ".#.", ".#."],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "9": ["###", "#.#", "###", "..#", "##."],
}


def text_width(label, scale):
    return (sum(len(FONT[ch][0]) + 1 for ch in label) - 1) * scale


# ---------------------------------------------------------------- programmer pictures

# Picture key -> (label, body colour). One colour family per key so units of
# different types are told apart at a glance.
PROGRAMMERS = [
    ("PSOC", "PSOC", "#2e7d32"),
    ("Z8ENCORE", "Z8", "#1565c0"),
    ("E2", "E2", "#6a1b9a"),
    ("C2", "C2", "#c62828"),
    ("ZNEO", "ZNEO", "#00838f"),
    ("AVR", "AVR", "#ef6c00"),
    ("AVR32", "AV32", "#ad1457"),
    ("X1", "X1", "#4e342e"),
    ("ARM", "ARM", "#37474f"),
]

DARK = hexcolor("#1b1f24")
PIN = hexcolor("#c9ced6")
WHITE = hexcolor("#ffffff")


def programmer_picture(label, body_hex):
    c = Canvas(48, 48)
    body = hexcolor(body_hex)
    light = mix(body, WHITE, 0.35)
    dark = mix(body, DARK, 0.45)
    # Serial cable leaving the top edge.
    c.rect(21.5, 0, 26.5, 6, hexcolor("#5f6b78"))
    c.rect(19.5, 3.5, 28.5, 7, hexcolor("#3b444e"))
    # Unit body with a soft shadow.
    c.round_rect(4, 7.5, 46, 40.5, 4, (0, 0, 0, 60))
    c.round_rect(2, 6, 46, 39, 4, body, vgrad(6, 39, light, dark))
    c.frame_round_rect(2, 6, 46, 39, 4, 1.0, mix(body, DARK, 0.7))
    # Label window.
    c.round_rect(6, 11, 42, 27, 2, hexcolor("#15191d"))
    scale = 2 if text_width(label, 2) <= 32 else 1
    tw = text_width(label, scale)
    th = 5 * scale
    c.text(6 + (36 - tw) // 2, 11 + (16 - th) // 2, label, WHITE, scale)
    # Power LED and four target-port sockets along the front.
    c.ellipse(40.5, 32.5, 2, 2, hexcolor("#76ff03"))
    c.ellipse(40.0, 32.0, 0.7, 0.7, (255, 255, 255, 200))
    for i in range(4):
        x = 5.5 + i * 8.0
        c.rect(x, 30, x + 6, 36, hexcolor("#101316"))
        c.rect(x + 1, 31, x + 5, 33, PIN)
    # Target ribbon stubs below the ports.
    for i in range(4):
        x = 5.5 + i * 8.0
        c.rect(x + 1, 39, x + 5, 46, hexcolor("#8d99a6"))
        c.rect(x + 1, 44.5, x + 5, 46, hexcolor("#5f6b78"))
    return c


def list_icon():
    c = Canvas(16, 16)
    body = hexcolor("#1e5aa8")
    c.rect(7, 0, 9, 3, hexcolor("#5f6b78"))
    c.round_rect(0.5, 2.5, 15.5, 13.5, 1.5, body, vgrad(2.5, 13.5, mix(body, WHITE, 0.35), mix(body, DARK, 0.3)))
    c.frame_round_rect(0.5, 2.5, 15.5, 13.5, 1.5, 0.75, mix(body, DARK, 0.6))
    c.rect(2.5, 4.5, 13.5, 8, hexcolor("#15191d"))
    c.rect(3.5, 5.5, 7.5, 7, hexcolor("#76ff03"))
    for i in range(4):
        x = 2 + i * 3.2
        c.rect(x, 9.5, x + 2.2, 12, hexcolor("#101316"))
        c.rect(x + 0.4, 13.5, x + 1.8, 15.5, hexcolor("#8d99a6"))
    return c


# ---------------------------------------------------------------- toolbar icons

OUTLINE = hexcolor("#2b3440")
PAPER = hexcolor("#ffffff")
PAPER_EDGE = hexcolor("#7b8794")
TEXT_LINE = hexcolor("#9aa7b4")


def sheet(c, x0, y0, x1, y1, fold=4.0, lines=True):
    pts = [(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)]
    c.fill_polygon(pts, PAPER_EDGE)
    inner = [(x0 + 1, y0 + 1), (x1 - fold - 0.4, y0 + 1), (x1 - 1, y0 + fold + 0.4), (x1 - 1, y1 - 1),
             (x0 + 1, y1 - 1)]
    c.fill_polygon(inner, PAPER)
    c.fill_polygon([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], hexcolor("#d5dbe1"))
    if lines:
        y = y0 + fold + 2.5
        while y < y1 - 2.5:
            c.rect(x0 + 2.5, y, x1 - 2.5, y + 1, TEXT_LINE)
            y += 2.5


CHIP_PIN = hexcolor("#7b8794")


def chip(c, x0, y0, x1, y1, body=None, pins="sides"):
    """A chip body; pins on its left and right sides, or along its bottom edge."""
    body = body or hexcolor("#2f3742")
    if pins == "sides":
        n = max(2, int((y1 - y0 - 2) / 2.5))
        step = (y1 - y0 - 2) / n
        for i in range(n):
            y = y0 + 1.5 + i * step
            c.rect(x0 - 2, y, x0, y + step * 0.55, CHIP_PIN)
            c.rect(x1, y, x1 + 2, y + step * 0.55, CHIP_PIN)
    elif pins == "bottom":
        n = max(2, int((x1 - x0 - 2) / 2.5))
        step = (x1 - x0 - 2) / n
        for i in range(n):
            x = x0 + 1.5 + i * step
            c.rect(x, y1, x + step * 0.55, y1 + 2, CHIP_PIN)
    c.round_rect(x0, y0, x1, y1, 1, body, vgrad(y0, y1, mix(body, WHITE, 0.25), body))
    c.ellipse(x0 + 2, y0 + 2, 0.8, 0.8, mix(body, WHITE, 0.45))


def tb_open():
    c = Canvas(24, 24)
    back = hexcolor("#d39b1f")
    front = hexcolor("#f7c948")
    c.fill_polygon([(2, 5), (9, 5), (11, 7), (20, 7), (20, 19), (2, 19)], back)
    sheet(c, 5, 3.5, 17, 15, fold=3, lines=False)
    c.fill_polygon([(2, 19), (5.5, 10), (23, 10), (19.5, 19)], front,
                   vgrad(10, 19, hexcolor("#fbd971"), hexcolor("#e9b52c")))
    c.line(2, 19, 19.5, 19, 1.0, hexcolor("#a8740f"), caps=False)
    return c


def tb_project():
    c = Canvas(24, 24)
    sheet(c, 4, 1.5, 19, 22.5, fold=5)
    # Title bar and a small tick list: a project is a set of saved choices.
    c.rect(6, 8, 13, 10.5, hexcolor("#1e5aa8"))
    for i, y in enumerate((12.5, 16, 19.5)):
        c.rect(6, y - 1, 8, y + 1, hexcolor("#1e5aa8"))
    c.round_rect(13, 14, 22.5, 22.5, 1.5, hexcolor("#2e7d32"))
    c.line(15, 18.5, 17, 20.5, 1.4, WHITE)
    c.line(17, 20.5, 21, 15.8, 1.4, WHITE)
    return c


def tb_load():
    c = Canvas(24, 24)
    chip(c, 4, 13.5, 20, 20.5, pins="bottom")
    green = hexcolor("#2e9d3a")
    c.fill_polygon([(9.5, 1), (14.5, 1), (14.5, 6.5), (18, 6.5), (12, 12.5), (6, 6.5), (9.5, 6.5)], green,
                   vgrad(1, 12.5, hexcolor("#5fcf67"), hexcolor("#1f7a2a")))
    return c


def tb_cut():
    c = Canvas(24, 24)
    blade = hexcolor("#8d99a6")
    c.line(7, 2, 15.5, 15, 2.2, blade)
    c.line(17, 2, 8.5, 15, 2.2, mix(blade, DARK, 0.2))
    c.ellipse(12, 10.5, 1.0, 1.0, OUTLINE)
    red = hexcolor("#c62828")
    for cx in (7, 17):
        c.ring(cx, 18, 4.2, 2.2, red)
    return c


def tb_copy():
    c = Canvas(24, 24)
    sheet(c, 2.5, 1.5, 15, 16.5, fold=4)
    sheet(c, 9, 7.5, 21.5, 22.5, fold=4)
    return c


def tb_paste():
    c = Canvas(24, 24)
    board = hexcolor("#a0662b")
    c.round_rect(3, 3.5, 19, 22.5, 2, board, vgrad(3.5, 22.5, hexcolor("#c58a4a"), hexcolor("#8a5522")))
    c.round_rect(7.5, 1.5, 14.5, 5.5, 1, hexcolor("#8d99a6"))
    c.rect(9.5, 2.5, 12.5, 3.5, OUTLINE)
    sheet(c, 10, 8.5, 22, 22.5, fold=3.5)
    return c


def tb_program():
    c = Canvas(24, 24)
    chip(c, 4, 4, 20, 21)
    c.fill_polygon([(13.5, 5), (7.5, 13.5), (11.5, 13.5), (10, 20), (16.5, 10.5), (12.5, 10.5), (14.5, 5)],
                   hexcolor("#ffd21f"))
    return c


def tb_imageman():
    c = Canvas(24, 24)
    c.rect(2, 3, 22, 21, OUTLINE)
    c.rect(3, 4, 21, 20, PAPER)
    c.rect(3, 4, 21, 8, hexcolor("#1e5aa8"))
    for y in (12, 16):
        c.rect(3, y, 21, y + 0.8, PAPER_EDGE)
    for x in (7.5, 13.5):
        c.rect(x, 4, x + 0.8, 20, PAPER_EDGE)
    c.rect(3.2, 8.5, 7.3, 11.8, hexcolor("#ffe082"))
    return c


def tb_delete():
    c = Canvas(24, 24)
    red = hexcolor("#d32f2f")
    c.line(5, 5, 19, 19, 4.0, red)
    c.line(19, 5, 5, 19, 4.0, red)
    return c


def tb_progscan():
    c = Canvas(24, 24)
    c.ellipse(10, 10, 6.2, 6.2, hexcolor("#d7ecff", 230))
    c.ring(10, 10, 7.5, 5.6, OUTLINE)
    c.arc(10, 10, 4.6, 3.8, 290, 60, (255, 255, 255, 230))
    c.line(15.5, 15.5, 21, 21, 3.4, hexcolor("#5b4636"))
    c.ellipse(10, 10, 1.4, 1.4, hexcolor("#2e9d3a"))
    return c


def tb_arrayman():
    c = Canvas(24, 24)
    colors = ["#2f3742", "#1e5aa8", "#1e5aa8", "#2f3742"]
    for i, (x, y) in enumerate(((2.5, 2), (13.5, 2), (2.5, 13), (13.5, 13))):
        chip(c, x, y, x + 8, y + 7, hexcolor(colors[i]), pins="bottom")
    return c


TOOLBAR = [
    ("Open", tb_open), ("Project", tb_project), ("Load", tb_load), ("Cut", tb_cut), ("Copy", tb_copy),
    ("Paste", tb_paste), ("Program", tb_program), ("ImageMan", tb_imageman), ("Delete", tb_delete),
    ("ProgScan", tb_progscan), ("ArrayMan", tb_arrayman),
]


# ---------------------------------------------------------------- busy animation

def busy_frame(n):
    """Frame n (0..3): a faint ring with a blue quarter arc, turned by 90 degrees a frame."""
    c = Canvas(32, 32)
    c.ring(16, 16, 13, 8.5, hexcolor("#d5dbe1"))
    c.arc(16, 16, 13, 8.5, n * 90 + 8, 74, hexcolor("#1e5aa8"))
    c.ellipse(16, 16, 3, 3, hexcolor("#2e9d3a"))
    return c


BUSY_BACKGROUND = hexcolor("#f0f0f0")


# ---------------------------------------------------------------- alarm

def fail_alarm(rate=22050):
    """Two falling tones, high then low, with a little edge so it cuts through
    a noisy production floor."""
    samples = []

    def tone(freq, seconds, amp):
        count = int(rate * seconds)
        ramp = int(rate * 0.012)
        for i in range(count):
            t = i / rate
            env = min(1.0, i / ramp, (count - 1 - i) / ramp)
            w = 2 * math.pi * freq * t
            v = math.sin(w) + 0.30 * math.sin(3 * w) + 0.12 * math.sin(5 * w)
            samples.append(amp * env * v / 1.42)

    def silence(seconds):
        samples.extend([0.0] * int(rate * seconds))

    tone(1046.5, 0.34, 0.70)   # C6
    silence(0.05)
    tone(698.5, 0.40, 0.70)    # F5
    silence(0.03)
    return samples


# ---------------------------------------------------------------- main

def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(os.path.join(here, ".."))
    os.makedirs(out, exist_ok=True)
    written = []

    def png(name, canvas):
        path = os.path.join(out, name)
        write_png(path, canvas.w, canvas.h, canvas.pixels())
        written.append(path)

    for key, label, color in PROGRAMMERS:
        png("prog_%s.png" % key, programmer_picture(label, color))
    png("programmer.png", list_icon())
    for name, draw in TOOLBAR:
        png("tb_%s.png" % name, draw())
    for n in range(4):
        path = os.path.join(out, "Sts%d.bmp" % (n + 1))
        write_bmp(path, 32, 32, busy_frame(n).flatten(BUSY_BACKGROUND))
        written.append(path)
    path = os.path.join(out, "fail.wav")
    write_wav(path, 22050, fail_alarm())
    written.append(path)

    for path in written:
        print("%7d  %s" % (os.path.getsize(path), os.path.relpath(path)))


if __name__ == "__main__":
    main()
