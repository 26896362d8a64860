#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draw Vantrel's skin: the template pictures in data/skin/.

Standard library only; the output is the same byte for byte on every run.

    tools/skin/make-skin.py                  # write data/skin/*.png
    tools/skin/make-skin.py --out DIR        # write somewhere else
    tools/skin/make-skin.py --preview F.png  # also write a composed window mock-up
    tools/skin/make-skin.py --icons DIR      # the program icons (default data/icons)

Transparency in every button, check-box and icon picture is by the colour of
its top-left pixel; here that is always pure magenta (KEY).  Shapes have hard
edges against KEY so no pinkish fringe can show.
"""

import argparse
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------- palette

KEY = (255, 0, 255)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

INK = (0x1C, 0x2A, 0x3A)          # outlines
INK_TEAL = (0x14, 0x55, 0x5C)     # outline of the hovered face
SHADOW = (0x5E, 0x70, 0x82)       # 1-px bevel shadow
SHADOW2 = (0x8E, 0x9E, 0xAE)      # softer second shadow
TEAL = (0x2A, 0x8C, 0x94)
TEAL_LIT = (0x5C, 0xD0, 0xD0)
TEAL_DEEP = (0x17, 0x6A, 0x72)

NAVY = (0x1B, 0x33, 0x4D)
STEEL = (0x33, 0x58, 0x78)

PAGE_TOP = (0xF3, 0xF6, 0xF8)
PAGE_BOT = (0xE3, 0xE9, 0xEE)
STRIP_TOP = (0xDC, 0xE3, 0xEA)
STRIP_BOT = (0xC9, 0xD3, 0xDD)

# The 16 standard VGA colours.
VGA = {
    'black': (0, 0, 0), 'maroon': (128, 0, 0), 'green': (0, 128, 0),
    'olive': (128, 128, 0), 'navy': (0, 0, 128), 'purple': (128, 0, 128),
    'teal': (0, 128, 128), 'silver': (192, 192, 192), 'gray': (128, 128, 128),
    'red': (255, 0, 0), 'lime': (0, 255, 0), 'yellow': (255, 255, 0),
    'blue': (0, 0, 255), 'fuchsia': (255, 0, 255), 'aqua': (0, 255, 255),
    'white': (255, 255, 255),
}

# ---------------------------------------------------------------- layout of the window
# Where the window background expects the controls; the frames, the title bar
# and the button sockets of Image1.png are drawn around these places.

WIN_W, WIN_H = 620, 400
COLUMN_W = 136                       # left column, x 0..135
SECTION_X, SECTION_Y0, SECTION_STEP = 8, 33, 40
SECTION_FACE_W, SECTION_H = 120, 36
NB1 = (140, 38, 472, 290)            # x, y, w, h
NB2 = (140, 333, 472, 39)
STATUS = (140, 377, 473, 17)
TITLE = (140, 5, 472, 27)
CLOSE_XY = (591, 9)
HELP_XY = (570, 9)
ICON = 18


# ---------------------------------------------------------------- picture

def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Pic:
    def __init__(self, w, h, fill=KEY):
        self.w, self.h = w, h
        self.px = [fill] * (w * h)

    def get(self, x, y):
        return self.px[y * self.w + x]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = c

    def rect(self, x, y, w, h, c):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.set(xx, yy, c)

    def hline(self, x0, x1, y, c):
        for x in range(x0, x1 + 1):
            self.set(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(y0, y1 + 1):
            self.set(x, y, c)

    def vgrad(self, x, y, w, h, stops):
        """Vertical gradient through colour stops [(t, colour), ...]."""
        for yy in range(h):
            t = yy / max(1, h - 1)
            c = grad_at(stops, t)
            for xx in range(w):
                self.set(x + xx, y + yy, c)

    def hgrad(self, x, y, w, h, stops):
        for xx in range(w):
            t = xx / max(1, w - 1)
            c = grad_at(stops, t)
            for yy in range(h):
                self.set(x + xx, y + yy, c)

    def bevel(self, x, y, w, h, tl, br):
        """1-px frame: tl colour on top/left, br on bottom/right."""
        self.hline(x, x + w - 1, y, tl)
        self.vline(x, y, y + h - 1, tl)
        self.hline(x, x + w - 1, y + h - 1, br)
        self.vline(x + w - 1, y, y + h - 1, br)

    def blit(self, src, dx, dy, keyed=True):
        key = src.get(0, 0)
        for y in range(src.h):
            for x in range(src.w):
                c = src.get(x, y)
                if keyed and c == key:
                    continue
                self.set(dx + x, dy + y, c)

    def colours(self):
        return set(self.px)


def grad_at(stops, t):
    if t <= stops[0][0]:
        return stops[0][1]
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0.0)
    return stops[-1][1]


def two(a, b):
    return [(0.0, a), (1.0, b)]


# ---------------------------------------------------------------- PNG writer

def png_bytes(pic):
    cols = sorted(pic.colours())
    w, h = pic.w, pic.h
    rows = []
    if len(cols) <= 256:
        index = {c: i for i, c in enumerate(cols)}
        n = len(cols)
        depth = 1 if n <= 2 else 2 if n <= 4 else 4 if n <= 16 else 8
        per_byte = 8 // depth
        for y in range(h):
            idx = [index[c] for c in pic.px[y * w:(y + 1) * w]]
            if depth == 8:
                rows.append(bytes(idx))
            else:
                out = bytearray()
                for i in range(0, w, per_byte):
                    b = 0
                    for j in range(per_byte):
                        v = idx[i + j] if i + j < w else 0
                        b = (b << depth) | v
                    out.append(b)
                rows.append(bytes(out))
        ihdr = struct.pack('>IIBBBBB', w, h, depth, 3, 0, 0, 0)
        plte = b''.join(bytes(c) for c in cols)
        bpp = 1
        chunks = [(b'IHDR', ihdr), (b'PLTE', plte)]
        candidates = [raw_none(rows)]
    else:
        for y in range(h):
            rows.append(b''.join(bytes(c) for c in pic.px[y * w:(y + 1) * w]))
        ihdr = struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)
        bpp = 3
        chunks = [(b'IHDR', ihdr)]
        # Unfiltered, though adaptive filters make the file a quarter smaller: the window
        # decodes its background at every start, and undoing the filters takes twice as
        # long as the rest of the decoding.
        candidates = [raw_none(rows)]
    best = min((zlib.compress(c, 9) for c in candidates), key=len)
    chunks.append((b'IDAT', best))
    chunks.append((b'IEND', b''))
    out = bytearray(b'\x89PNG\r\n\x1a\n')
    for tag, data in chunks:
        out += struct.pack('>I', len(data)) + tag + data
        out += struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff)
    return bytes(out)


def png_rgba_bytes(pic):
    """A true-colour PNG with an alpha channel: KEY becomes fully transparent, for the
    desktop, which knows nothing of colour keys."""
    rows = []
    for y in range(pic.h):
        row = bytearray()
        for c in pic.px[y * pic.w:(y + 1) * pic.w]:
            row += bytes((0, 0, 0, 0)) if c == KEY else bytes(c) + b'\xff'
        rows.append(bytes(row))
    ihdr = struct.pack('>IIBBBBB', pic.w, pic.h, 8, 6, 0, 0, 0)
    best = min((zlib.compress(c, 9) for c in (raw_none(rows), raw_adaptive(rows, 4))), key=len)
    out = bytearray(b'\x89PNG\r\n\x1a\n')
    for tag, data in ((b'IHDR', ihdr), (b'IDAT', best), (b'IEND', b'')):
        out += struct.pack('>I', len(data)) + tag + data
        out += struct.pack('>I', zlib.crc32(tag + data) & 0xffffffff)
    return bytes(out)


def raw_none(rows):
    return b''.join(b'\x00' + r for r in rows)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def raw_adaptive(rows, bpp):
    out = bytearray()
    prev = bytes(len(rows[0]))
    for r in rows:
        best = None
        for ft in range(5):
            f = bytearray()
            for i, v in enumerate(r):
                a = r[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = (0, a, b, (a + b) >> 1, paeth(a, b, c))[ft]
                f.append((v - p) & 0xff)
            score = sum(x if x < 128 else 256 - x for x in f)
            if best is None or score < best[0]:
                best = (score, ft, f)
        out.append(best[1])
        out += best[2]
        prev = r
    return bytes(out)


# ---------------------------------------------------------------- shapes

def cut_corners(p, x, y, w, h, n, c=KEY):
    """Clear a staircase of n pixels at each corner (hard edged rounding)."""
    for i in range(n):
        for j in range(n - i):
            for (cx, cy) in ((x + j, y + i), (x + w - 1 - j, y + i),
                             (x + j, y + h - 1 - i), (x + w - 1 - j, y + h - 1 - i)):
                p.set(cx, cy, c)


def rounded_outline(p, x, y, w, h, c):
    """Outline for a rectangle whose corners are cut by 2 (pixels (x+1,y+1) ...)."""
    p.hline(x + 2, x + w - 3, y, c)
    p.hline(x + 2, x + w - 3, y + h - 1, c)
    p.vline(x, y + 2, y + h - 3, c)
    p.vline(x + w - 1, y + 2, y + h - 3, c)
    for (cx, cy) in ((x + 1, y + 1), (x + w - 2, y + 1), (x + 1, y + h - 2), (x + w - 2, y + h - 2)):
        p.set(cx, cy, c)


# ---------------------------------------------------------------- buttons

BUTTON_STYLE = {
    # face gradient stops, outline, top/left lights, bottom/right shades
    'n': dict(face=[(0.0, (0xF2, 0xF5, 0xF8)), (0.48, (0xDA, 0xE2, 0xEA)),
                    (0.52, (0xCF, 0xD9, 0xE3)), (1.0, (0xB4, 0xC2, 0xD0))],
              outline=INK, light=[WHITE], shade=[SHADOW, SHADOW2]),
    'm': dict(face=[(0.0, (0xFF, 0xFF, 0xFF)), (0.48, (0xE2, 0xF4, 0xF4)),
                    (0.52, (0xD2, 0xEE, 0xEF)), (1.0, (0xA6, 0xDA, 0xDD))],
              outline=INK_TEAL, light=[WHITE], shade=[(0x3E, 0x86, 0x8C), (0x86, 0xBE, 0xC2)]),
    's': dict(face=[(0.0, (0x86, 0xB4, 0xBC)), (1.0, (0xC8, 0xE0, 0xE3))],
              outline=INK, light=[(0x4A, 0x62, 0x70), (0x7E, 0x9C, 0xA6)],
              shade=[(0xF4, 0xFA, 0xFA)], sunken=True),
}


def button(w, h, state):
    st = BUTTON_STYLE[state]
    p = Pic(w, h)
    p.vgrad(1, 1, w - 2, h - 2, st['face'])
    rounded_outline(p, 0, 0, w, h, st['outline'])
    if st.get('sunken'):
        # pressed in: dark along top and left, light along bottom and right
        for i, c in enumerate(st['light']):
            p.hline(2 + i, w - 3, 1 + i, c)
            p.vline(1 + i, 2 + i, h - 3, c)
        for i, c in enumerate(st['shade']):
            p.hline(2, w - 3, h - 2 - i, c)
            p.vline(w - 2 - i, 2, h - 3, c)
        # the "this section is shown" lamp on the left edge
        lh = h - 16
        ly = (h - lh) // 2
        p.rect(5, ly, 3, lh, TEAL)
        p.vline(5, ly, ly + lh - 1, TEAL_LIT)
        p.hline(5, 7, ly, TEAL_LIT)
        p.vline(8, ly, ly + lh - 1, (0xF4, 0xFA, 0xFA))
        p.hline(5, 8, ly + lh, (0xF4, 0xFA, 0xFA))
        p.vline(4, ly - 1, ly + lh - 1, (0x4A, 0x62, 0x70))
        p.hline(4, 7, ly - 1, (0x4A, 0x62, 0x70))
    else:
        for i, c in enumerate(st['light']):
            p.hline(2, w - 3 - i, 1 + i, c)
            p.vline(1 + i, 2, h - 3 - i, c)
        for i, c in enumerate(st['shade']):
            p.hline(2 + i, w - 3, h - 2 - i, c)
            p.vline(w - 2 - i, 2 + i, h - 3, c)
    cut_corners(p, 0, 0, w, h, 1)
    return p


def button16(w, h):
    v = VGA
    p = Pic(w, h)
    p.rect(1, 1, w - 2, h - 2, v['silver'])
    rounded_outline(p, 0, 0, w, h, v['black'])
    p.hline(2, w - 3, 1, v['white'])
    p.vline(1, 2, h - 3, v['white'])
    p.hline(2, w - 3, h - 2, v['gray'])
    p.vline(w - 2, 2, h - 3, v['gray'])
    p.hline(3, w - 4, h - 3, v['gray'])
    p.vline(w - 3, 3, h - 4, v['gray'])
    cut_corners(p, 0, 0, w, h, 1)
    return p


# ---------------------------------------------------------------- check boxes (slide switches)

CHECK_W, CHECK_H = 47, 21

TICK = [  # 9 x 7 check mark, '#' = stroke
    "........#",
    ".......##",
    "#.....##.",
    "##...##..",
    ".##.##...",
    "..###....",
    "...#.....",
]


def switch(checked, hover, vga=False):
    p = Pic(CHECK_W, CHECK_H)
    v = VGA
    sx, sy, sw, sh = 1, 2, 45, 17          # the slot
    slot_out = v['black'] if vga else (INK_TEAL if hover else INK)
    # slot interior
    if vga:
        p.rect(sx + 1, sy + 1, sw - 2, sh - 2, v['gray'])
    else:
        p.vgrad(sx + 1, sy + 1, sw - 2, sh - 2, two((0x3A, 0x46, 0x52), (0x56, 0x63, 0x70)))
    rounded_outline(p, sx, sy, sw, sh, slot_out)
    # sunken slot edge
    if vga:
        p.hline(sx + 2, sx + sw - 3, sy + 1, v['black'])
        p.vline(sx + 1, sy + 2, sy + sh - 3, v['black'])
    else:
        p.hline(sx + 2, sx + sw - 3, sy + 1, (0x26, 0x30, 0x3A))
        p.vline(sx + 1, sy + 2, sy + sh - 3, (0x26, 0x30, 0x3A))
    kw, kh = 19, sh - 4
    inner_x0, inner_x1 = sx + 2, sx + sw - 3           # usable interior columns
    ky = sy + 2
    if checked:
        kx = inner_x1 - kw + 1
        lit = (inner_x0, kx - 1)
    else:
        kx = inner_x0
        lit = None
    # the lamp: lit part when on, an "off" ring when off
    if checked:
        lx0, lx1 = lit
        if vga:
            p.rect(lx0, ky, lx1 - lx0 + 1, kh, v['teal'])
            p.hline(lx0, lx1, ky, v['aqua'])
        else:
            top = (0x8C, 0xEC, 0xEA) if hover else (0x6C, 0xDA, 0xD8)
            bot = (0x22, 0x9A, 0xA2) if hover else (0x1A, 0x84, 0x8C)
            p.vgrad(lx0, ky, lx1 - lx0 + 1, kh, two(top, bot))
            p.hline(lx0, lx1, ky, (0xC8, 0xFA, 0xF8))
        tx = lx0 + (lx1 - lx0 + 1 - 9) // 2
        ty = ky + (kh - 7) // 2
        for yy, row in enumerate(TICK):
            for xx, ch in enumerate(row):
                if ch == '#':
                    p.set(tx + xx, ty + yy, WHITE)
                    if not vga:
                        # soft dark edge below the stroke, inside the lit area only
                        if yy + 1 < len(TICK) and TICK[yy + 1][xx] != '#':
                            if p.get(tx + xx, ty + yy + 1) != WHITE:
                                p.set(tx + xx, ty + yy + 1, (0x10, 0x62, 0x6A))
                        elif yy + 1 == len(TICK):
                            p.set(tx + xx, ty + yy + 1, (0x10, 0x62, 0x6A))
    else:
        # small off ring in the uncovered part
        ox0 = kx + kw
        cx = ox0 + (inner_x1 - ox0 + 1) // 2
        cy = ky + kh // 2
        ring = v['silver'] if vga else (0x8C, 0xE0, 0xE0) if hover else (0x9A, 0xA6, 0xB2)
        ring_pts = [(-1, -3), (0, -3), (1, -3), (-2, -2), (2, -2), (-3, -1), (3, -1),
                    (-3, 0), (3, 0), (-3, 1), (3, 1), (-2, 2), (2, 2), (-1, 3), (0, 3), (1, 3)]
        for dx, dy in ring_pts:
            p.set(cx + dx, cy + dy, ring)
    # the knob
    if vga:
        p.rect(kx, ky, kw, kh, v['silver'])
        p.hline(kx, kx + kw - 1, ky, v['white'])
        p.vline(kx, ky, ky + kh - 1, v['white'])
        p.hline(kx, kx + kw - 1, ky + kh - 1, v['black'])
        p.vline(kx + kw - 1, ky, ky + kh - 1, v['black'])
        p.hline(kx + 1, kx + kw - 2, ky + kh - 2, v['gray'])
        p.vline(kx + kw - 2, ky + 1, ky + kh - 2, v['gray'])
        grip_d, grip_l = v['gray'], v['white']
    else:
        if hover:
            face = [(0.0, WHITE), (0.5, (0xDE, 0xF2, 0xF3)), (1.0, (0xA8, 0xD8, 0xDB))]
        else:
            face = [(0.0, (0xF6, 0xF8, 0xFA)), (0.5, (0xD8, 0xE0, 0xE8)), (1.0, (0xAE, 0xBC, 0xCA))]
        p.vgrad(kx, ky, kw, kh, face)
        p.hline(kx, kx + kw - 1, ky + kh - 1, INK)
        p.vline(kx + kw - 1, ky, ky + kh - 1, INK)
        p.vline(kx, ky, ky + kh - 1, INK if checked else (0x26, 0x30, 0x3A))
        p.hline(kx + 1, kx + kw - 2, ky, WHITE)
        p.vline(kx + 1, ky, ky + kh - 2, WHITE)
        p.hline(kx + 2, kx + kw - 2, ky + kh - 2, SHADOW)
        p.vline(kx + kw - 2, ky + 1, ky + kh - 2, SHADOW)
        grip_d, grip_l = SHADOW, WHITE
    gx = kx + kw // 2 - 3
    for i in range(3):
        p.vline(gx + 2 * i, ky + 3, ky + kh - 4, grip_d)
        p.vline(gx + 2 * i + 1, ky + 3, ky + kh - 4, grip_l)
    cut_corners(p, sx, sy, sw, sh, 1)
    return p


# ---------------------------------------------------------------- title-bar icons

CROSS = [
    "##....##",
    "###..###",
    ".######.",
    "..####..",
    "..####..",
    ".######.",
    "###..###",
    "##....##",
]
QUESTION = [
    ".####.",
    "##..##",
    "....##",
    "...##.",
    "..##..",
    "..##..",
    "......",
    "..##..",
    "..##..",
]


def icon(glyph, colour):
    p = button(ICON, ICON, 'n')
    gw, gh = len(glyph[0]), len(glyph)
    ox, oy = (ICON - gw) // 2, (ICON - gh) // 2
    for y, row in enumerate(glyph):
        for x, ch in enumerate(row):
            if ch == '#':
                p.set(ox + x, oy + y, colour)
    return p


# ---------------------------------------------------------------- drive icons
# 32 x 32 pictures for the report's drive list: a drive case seen from the front in the
# buttons' steel and teal, with what tells the kinds apart drawn on or beside it.

DRIVE = 32


def disc(p, cx, cy, r, hole):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if d <= r * r:
                if d <= hole * hole:
                    p.set(x, y, KEY)
                elif d > (r - 1) * (r - 1):
                    p.set(x, y, INK)
                elif d <= (hole + 1) * (hole + 1):
                    p.set(x, y, SHADOW)
                else:
                    shade = (x - cx + y - cy) / (2.0 * r)
                    p.set(x, y, mix((0xF4, 0xF7, 0xFA), TEAL_LIT, 0.5 + shade * 0.5))


def drive_case(p, x, y, w, h):
    p.vgrad(x, y, w, h, [(0.0, (0xC8, 0xD4, 0xDE)), (0.5, (0x9C, 0xAE, 0xBE)), (1.0, STEEL)])
    p.bevel(x, y, w, h, INK, INK)
    p.hline(x + 1, x + w - 2, y + 1, WHITE)
    p.hline(x + 1, x + w - 2, y + h - 2, SHADOW)


def drive_icon(kind):
    p = Pic(DRIVE, DRIVE)
    if kind == 'cdrom':
        disc(p, 16, 11, 10, 2)
        drive_case(p, 1, 17, 30, 12)
        p.hline(5, 26, 21, INK)       # tray
        p.hline(5, 26, 22, SHADOW2)
        p.rect(25, 25, 3, 2, TEAL_LIT)
    elif kind == 'removable':
        drive_case(p, 1, 9, 30, 15)
        p.rect(5, 14, 22, 3, INK)     # the disk slot
        p.hline(5, 26, 17, SHADOW2)
        p.rect(22, 19, 5, 2, NAVY)    # eject button
        p.rect(5, 19, 3, 2, TEAL_LIT)
    elif kind == 'network':
        drive_case(p, 1, 4, 30, 14)
        p.hline(5, 22, 10, SHADOW)
        p.hline(5, 22, 11, WHITE)
        p.rect(25, 13, 3, 2, TEAL_LIT)
        p.rect(15, 18, 2, 7, INK)     # cable down to the network
        p.rect(3, 25, 26, 2, TEAL_DEEP)
        p.hline(3, 28, 27, INK)
        for x in (3, 27):
            p.rect(x, 24, 2, 4, INK)
    else:
        drive_case(p, 1, 9, 30, 15)
        p.hline(5, 22, 15, SHADOW)
        p.hline(5, 22, 16, WHITE)
        p.rect(25, 19, 3, 2, TEAL_LIT)  # the busy light
    return p


# ---------------------------------------------------------------- program icon
# The desktop's icon for Vantrel: a 3.5" floppy in the buttons' teal and steel, its label
# carrying the V of the wordmark. Drawn on a 48-unit grid, so every size has the same
# hard-edged shapes.

def program_icon(n):
    p = Pic(n, n)
    u = n / 48.0

    def at(v):
        return int(round(v * u))

    def box(x, y, w, h, c):
        p.rect(at(x), at(y), at(x + w) - at(x), at(y + h) - at(y), c)

    line = max(1, at(1))
    # the body, its top right corner cut off as on every floppy
    x0, y0, x1, y1 = at(4), at(4), at(44), at(44)
    p.vgrad(x0, y0, x1 - x0, y1 - y0, [(0.0, TEAL_LIT), (0.45, TEAL), (1.0, TEAL_DEEP)])
    p.bevel(x0, y0, x1 - x0, y1 - y0, INK, INK)
    for i in range(line):
        p.bevel(x0 + i, y0 + i, x1 - x0 - 2 * i, y1 - y0 - 2 * i, INK, INK)
    cut = at(5)
    for yy in range(cut + line):
        for xx in range(x1 - cut - line + yy, x1):
            p.set(xx, y0 + yy, INK if xx < x1 - cut + yy else KEY)
    # the metal shutter with its window onto the disk
    sx0, sx1 = at(14), at(33)
    p.vgrad(sx0, y0, sx1 - sx0, at(17) - y0, [(0.0, (0xF2, 0xF5, 0xF8)), (0.6, (0xB4, 0xC2, 0xD0)), (1.0, (0x9C, 0xAE, 0xBE))])
    p.bevel(sx0, y0, sx1 - sx0, at(17) - y0, INK, INK)
    box(26, 7, 4, 8, NAVY)
    # the label, and the V on it
    lx0, ly0, lx1, ly1 = at(9), at(23), at(39), y1 - line
    p.vgrad(lx0, ly0, lx1 - lx0, ly1 - ly0, two(WHITE, (0xE3, 0xE9, 0xEE)))
    p.bevel(lx0, ly0, lx1 - lx0, ly1 - ly0, SHADOW, SHADOW2)
    glyph = WORDMARK['V']
    cell = 1.75
    gx, gy = 24 - 4 * cell, 25.5
    for yy, row in enumerate(glyph):
        col = mix(TEAL_DEEP, NAVY, yy / (len(glyph) - 1))
        for xx, c in enumerate(row):
            if c == '#':
                box(gx + xx * cell, gy + yy * cell, cell, cell, col)
    return p


# ---------------------------------------------------------------- page backgrounds

def page_bg(w, h, top, bot):
    p = Pic(w, h)
    p.vgrad(0, 0, w, h, two(top, bot))
    return p


# ---------------------------------------------------------------- window background

WORDMARK = {
    'V': ["##....##", "##....##", "##....##", ".##..##.", ".##..##.", ".##..##.",
          "..####..", "..####..", "...##..."],
    'A': ["...##...", "..####..", ".##..##.", "##....##", "##....##", "########",
          "##....##", "##....##", "##....##"],
    'N': ["##....##", "###...##", "####..##", "##.##.##", "##..####", "##...###",
          "##....##", "##....##", "##....##"],
    'T': ["########", "########", "...##...", "...##...", "...##...", "...##...",
          "...##...", "...##...", "...##..."],
    'R': ["######..", "##...##.", "##....##", "##...##.", "######..", "##.##...",
          "##..##..", "##...##.", "##....##"],
    'E': ["########", "##......", "##......", "##......", "######..", "##......",
          "##......", "##......", "########"],
    'L': ["##......", "##......", "##......", "##......", "##......", "##......",
          "##......", "##......", "########"],
}


def wordmark(p, text, x, y, top, bot, shadow):
    gw, gh, gap = 8, 9, 2
    for i, ch in enumerate(text):
        g = WORDMARK[ch]
        for yy, row in enumerate(g):
            for xx, c in enumerate(row):
                if c == '#':
                    p.set(x + i * (gw + gap) + xx + 1, y + yy + 1, shadow)
    for i, ch in enumerate(text):
        g = WORDMARK[ch]
        for yy, row in enumerate(g):
            col = mix(top, bot, yy / (gh - 1))
            for xx, c in enumerate(row):
                if c == '#':
                    p.set(x + i * (gw + gap) + xx, y + yy, col)
    return len(text) * (gw + gap) - gap


def sunken_panel(p, rect, fill_top, fill_bot, dark, mid, light, solid=None):
    x, y, w, h = rect
    if solid is not None:
        p.rect(x, y, w, h, solid)
    else:
        p.vgrad(x, y, w, h, two(fill_top, fill_bot))
    # two-pixel sunken frame just outside the rect
    p.bevel(x - 2, y - 2, w + 4, h + 4, mid, light)
    p.bevel(x - 1, y - 1, w + 2, h + 2, dark, mid if solid is not None else fill_bot)


def window_bg():
    p = Pic(WIN_W, WIN_H)
    # right side: quiet steel grey-blue
    p.vgrad(0, 0, WIN_W, WIN_H, two((0xC4, 0xCE, 0xD8), (0xA6, 0xB4, 0xC2)))
    # left column: deep blue to navy
    p.vgrad(0, 0, COLUMN_W, WIN_H, [(0.0, (0x3A, 0x64, 0x86)), (0.35, STEEL), (1.0, NAVY)])
    # groove between column and right side
    p.vline(COLUMN_W - 2, 2, WIN_H - 3, (0x12, 0x22, 0x34))
    p.vline(COLUMN_W - 1, 2, WIN_H - 3, (0xE0, 0xE8, 0xEE))
    # faint sockets (1-px drop shadow) under the eight section buttons
    for i in range(8):
        by = SECTION_Y0 + i * SECTION_STEP
        fx1 = SECTION_X + SECTION_FACE_W
        for x in range(SECTION_X + 2, fx1):
            p.set(x, by + SECTION_H, mix(p.get(x, by + SECTION_H), BLACK, 0.45))
        for y in range(by + 2, by + SECTION_H):
            p.set(fx1, y, mix(p.get(fx1, y), BLACK, 0.45))
        p.set(fx1 - 1, by + SECTION_H - 1, mix(p.get(fx1 - 1, by + SECTION_H - 1), BLACK, 0.45))
    # wordmark at the top of the column
    ww = len('VANTREL') * 10 - 2
    wordmark(p, 'VANTREL', SECTION_X + (SECTION_FACE_W - ww) // 2, 12,
             (0xFF, 0xFF, 0xFF), (0x8C, 0xD8, 0xDA), (0x0E, 0x1E, 0x2E))
    # a small grille at the foot of the column
    gy = SECTION_Y0 + 8 * SECTION_STEP + 12
    for i in range(4):
        y = gy + i * 6
        p.hline(SECTION_X + 30, SECTION_X + SECTION_FACE_W - 31, y, (0x10, 0x20, 0x30))
        p.hline(SECTION_X + 30, SECTION_X + SECTION_FACE_W - 31, y + 1, (0x4C, 0x70, 0x90))
    # title bar
    tx, ty, tw, th = TITLE
    p.hgrad(tx, ty, tw, th, [(0.0, TEAL_DEEP), (0.6, (0x1E, 0x48, 0x66)), (1.0, NAVY)])
    p.hline(tx, tx + tw - 1, ty, (0x5E, 0xA8, 0xB0))
    p.bevel(tx - 1, ty - 1, tw + 2, th + 2, (0x6E, 0x82, 0x96), WHITE)
    p.bevel(tx - 2, ty - 2, tw + 4, th + 4, (0x8E, 0x9E, 0xAE), (0xE0, 0xE8, 0xEE))
    # page areas, so that the window looks finished even without pages
    dark, mid, light = (0x2A, 0x38, 0x48), (0x7A, 0x8A, 0x9A), WHITE
    sunken_panel(p, NB1, PAGE_TOP, PAGE_BOT, dark, mid, light)
    sunken_panel(p, NB2, STRIP_TOP, STRIP_BOT, dark, mid, light)
    sunken_panel(p, STATUS, (0xE6, 0xEC, 0xF1), (0xDA, 0xE2, 0xE9), dark, mid, light)
    # window edge: dark line, then a raised bevel
    p.bevel(0, 0, WIN_W, WIN_H, (0x0C, 0x16, 0x22), (0x0C, 0x16, 0x22))
    p.hline(1, WIN_W - 2, 1, (0x9C, 0xB4, 0xCA))
    p.vline(1, 1, WIN_H - 2, (0x7C, 0x9C, 0xBA))
    p.hline(1, WIN_W - 2, WIN_H - 2, (0x22, 0x34, 0x48))
    p.vline(WIN_W - 2, 1, WIN_H - 2, (0x4A, 0x5C, 0x70))
    return p


def window_bg16():
    v = VGA
    p = Pic(WIN_W, WIN_H, v['silver'])
    p.rect(0, 0, COLUMN_W, WIN_H, v['teal'])
    p.vline(COLUMN_W - 2, 2, WIN_H - 3, v['black'])
    p.vline(COLUMN_W - 1, 2, WIN_H - 3, v['white'])
    for i in range(8):
        by = SECTION_Y0 + i * SECTION_STEP
        fx1 = SECTION_X + SECTION_FACE_W
        p.hline(SECTION_X + 2, fx1 - 1, by + SECTION_H, v['black'])
        p.vline(fx1, by + 2, by + SECTION_H - 1, v['black'])
    ww = len('VANTREL') * 10 - 2
    wordmark(p, 'VANTREL', SECTION_X + (SECTION_FACE_W - ww) // 2, 12,
             v['white'], v['white'], v['black'])
    gy = SECTION_Y0 + 8 * SECTION_STEP + 12
    for i in range(4):
        y = gy + i * 6
        p.hline(SECTION_X + 30, SECTION_X + SECTION_FACE_W - 31, y, v['black'])
        p.hline(SECTION_X + 30, SECTION_X + SECTION_FACE_W - 31, y + 1, v['aqua'])
    tx, ty, tw, th = TITLE
    # title bar: teal fading into navy by an ordered dither
    bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
    for x in range(tw):
        t = x / (tw - 1)
        for y in range(th):
            thr = (bayer[y % 4][x % 4] + 0.5) / 16
            p.set(tx + x, ty + y, v['navy'] if t > thr else v['teal'])
    p.bevel(tx - 1, ty - 1, tw + 2, th + 2, v['gray'], v['white'])
    for rect in (NB1, NB2, STATUS):
        x, y, w, h = rect
        p.rect(x, y, w, h, v['silver'])
        p.bevel(x - 2, y - 2, w + 4, h + 4, v['gray'], v['white'])
        p.bevel(x - 1, y - 1, w + 2, h + 2, v['black'], v['silver'])
    p.bevel(0, 0, WIN_W, WIN_H, v['black'], v['black'])
    p.hline(1, WIN_W - 2, 1, v['white'])
    p.vline(1, 1, WIN_H - 2, v['white'])
    p.hline(1, WIN_W - 2, WIN_H - 2, v['gray'])
    p.vline(WIN_W - 2, 1, WIN_H - 2, v['gray'])
    return p


# ---------------------------------------------------------------- all files

def build():
    files = {}
    for s in 'nms':
        files['Knopf_%s1.png' % s] = button(120, 36, s)
        files['Knopf_%s2.png' % s] = button(84, 30, s)
    files['NoHakenN.png'] = switch(False, False)
    files['NoHakenS.png'] = switch(False, True)
    files['HakenN.png'] = switch(True, False)
    files['HakenS.png'] = switch(True, True)
    files['Image1.png'] = window_bg()
    files['Image_Notebook1.png'] = page_bg(472, 290, PAGE_TOP, PAGE_BOT)
    files['Image_Notebook2.png'] = page_bg(472, 39, STRIP_TOP, STRIP_BOT)
    files['Image3.png'] = icon(CROSS, (0x7A, 0x22, 0x22))
    files['Image4.png'] = icon(QUESTION, NAVY)
    files['Image_16col.png'] = window_bg16()
    files['BKnopf_16col.png'] = button16(120, 36)
    files['SKnopf_16col.png'] = button16(84, 30)
    files['Haken1_16col.png'] = switch(False, False, vga=True)
    files['Haken2_16col.png'] = switch(True, False, vga=True)
    for kind, name in (('removable', 'Removable'), ('fixed', 'Fixed'), ('cdrom', 'CdRom'), ('network', 'Network')):
        files['Drive_%s.png' % name] = drive_icon(kind)
    vga = set(VGA.values())
    for name, pic in files.items():
        if '16col' in name:
            assert pic.colours() <= vga, name
        if name not in ('Image1.png', 'Image_Notebook1.png', 'Image_Notebook2.png',
                        'Image_16col.png'):
            assert pic.get(0, 0) == KEY, name
    return files


def preview(files, sixteen=False):
    """The window with every page shown, eight section buttons and a few controls."""
    if sixteen:
        win = Pic(WIN_W, WIN_H)
        win.blit(files['Image_16col.png'], 0, 0, keyed=False)
        big = {s: files['BKnopf_16col.png'] for s in 'nms'}
        small = {s: files['SKnopf_16col.png'] for s in 'nms'}
        chk = {(False, False): files['Haken1_16col.png'], (False, True): files['Haken1_16col.png'],
               (True, False): files['Haken2_16col.png'], (True, True): files['Haken2_16col.png']}
    else:
        win = Pic(WIN_W, WIN_H)
        win.blit(files['Image1.png'], 0, 0, keyed=False)
        win.blit(files['Image_Notebook1.png'], NB1[0], NB1[1], keyed=False)
        win.blit(files['Image_Notebook2.png'], NB2[0], NB2[1], keyed=False)
        big = {s: files['Knopf_%s1.png' % s] for s in 'nms'}
        small = {s: files['Knopf_%s2.png' % s] for s in 'nms'}
        chk = {(False, False): files['NoHakenN.png'], (False, True): files['NoHakenS.png'],
               (True, False): files['HakenN.png'], (True, True): files['HakenS.png']}
    win.blit(files['Image4.png'], *HELP_XY)
    win.blit(files['Image3.png'], *CLOSE_XY)
    for i in range(8):
        state = 's' if i == 1 else 'm' if i == 4 else 'n'
        win.blit(big[state], SECTION_X, SECTION_Y0 + i * SECTION_STEP)
    for i in range(5):
        state = 's' if i == 0 else 'm' if i == 2 else 'n'
        win.blit(small[state], NB2[0] + 6 + i * 92, NB2[1] + 4)
    for i, (c, h) in enumerate([(True, False), (False, False), (True, True), (False, True),
                                (True, False), (False, False)]):
        win.blit(chk[(c, h)], NB1[0] + 20, NB1[1] + 60 + i * 26)
    win.blit(small['n'], NB1[0] + 372, NB1[1] + 250)
    win.blit(small['m'], NB1[0] + 282, NB1[1] + 250)
    return win


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--out', default=os.path.normpath(os.path.join(here, '..', '..', 'data', 'skin')))
    ap.add_argument('--preview', help='also write a composed mock-up of the window here')
    ap.add_argument('--icons', default=os.path.normpath(os.path.join(here, '..', '..', 'data', 'icons')),
                    help='where the program icons go')
    args = ap.parse_args()
    files = build()
    os.makedirs(args.out, exist_ok=True)
    for name in sorted(files):
        data = png_bytes(files[name])
        with open(os.path.join(args.out, name), 'wb') as f:
            f.write(data)
        print('%-22s %4d x %-4d %6d bytes' % (name, files[name].w, files[name].h, len(data)))
    os.makedirs(args.icons, exist_ok=True)
    for size in (48, 256):
        data = png_rgba_bytes(program_icon(size))
        name = 'vantrel-%d.png' % size
        with open(os.path.join(args.icons, name), 'wb') as f:
            f.write(data)
        print('%-22s %4d x %-4d %6d bytes' % (name, size, size, len(data)))
    if args.preview:
        with open(args.preview, 'wb') as f:
            f.write(png_bytes(preview(files)))
        root, ext = os.path.splitext(args.preview)
        with open(root + '-16' + ext, 'wb') as f:
            f.write(png_bytes(preview(files, sixteen=True)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
