#!/usr/bin/env python3
"""Draws the print preview's toolbar images, the product images and the dialogs' icon, and writes
them beside this script as GIF, BMP, JPEG and ICO files. Plain Python only (no imaging library), so anyone can redraw
them; the output is deterministic, and the files are committed.

    python3 make_images.py [--preview DIR]   (--preview also writes PNG copies for viewing)
"""

import math
import os
import random
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 24  # toolbar button images are square

# Colours (RGB).
INK = (31, 58, 110)          # the product's dark blue
ARROW = (38, 96, 168)
GREEN = (46, 125, 50)
PAPER = (255, 255, 255)
FRAME = (92, 92, 92)
MARGIN = (150, 170, 200)
GLASS = (214, 232, 248)
HANDLE = (110, 76, 40)
GREY = (160, 160, 160)
GREY_LIGHT = (215, 215, 215)
HILITE_FILL = (221, 236, 252)
HILITE_EDGE = (96, 148, 214)
QUILL = (176, 128, 48)


# --- shapes: each answers whether a point (in pixel units) lies inside ------------------------

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def segment(ax, ay, bx, by, width):
    r = width / 2.0
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx - x, ay + t * dy - y
        return px * px + py * py <= r * r
    return inside


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_outer, r_inner):
    return lambda x, y: r_inner * r_inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r_outer * r_outer


def arc(cx, cy, r_outer, r_inner, start_deg, end_deg):
    """Part of a ring, angles in degrees, counter-clockwise from the positive x axis (y down)."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not r_inner * r_inner <= d2 <= r_outer * r_outer:
            return False
        a = math.degrees(math.atan2(cy - y, x - cx)) % 360
        s, e = start_deg % 360, end_deg % 360
        return s <= a <= e if s <= e else a >= s or a <= e
    return inside


class Canvas:
    """Pixels as RGB tuples or None (transparent). A shape covers a pixel when most of a 4x4 grid
    of samples inside the pixel falls in it: crisp edges, as small toolbar images want."""

    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def fill(self, shape, colour):
        for py in range(self.height):
            for px in range(self.width):
                hits = sum(shape(px + (sx + 0.5) / 4.0, py + (sy + 0.5) / 4.0)
                           for sx in range(4) for sy in range(4))
                if hits >= 8:
                    self.pixels[py][px] = colour

    def map(self, fn):
        out = Canvas(self.width, self.height)
        out.pixels = [[fn(c) for c in row] for row in self.pixels]
        return out

    def under(self, background):
        """This canvas drawn over another of the same size."""
        out = Canvas(self.width, self.height)
        out.pixels = [[c if c is not None else b for c, b in zip(row, brow)]
                      for row, brow in zip(self.pixels, background.pixels)]
        return out


# --- encoders --------------------------------------------------------------------------------

def _lzw(indices, min_code_size):
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    bits = nbits = 0

    def emit(code, size):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    def reset():
        return {(i,): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, size = reset()
    emit(clear, size)
    word = ()
    for k in indices:
        grown = word + (k,)
        if grown in table:
            word = grown
            continue
        emit(table[word], size)
        if next_code >= (1 << size) and size < 12:
            size += 1
        if next_code < 4095:
            table[grown] = next_code
            next_code += 1
        else:
            emit(clear, size)
            table, next_code, size = reset()
        word = (k,)
    if word:
        emit(table[word], size)
    emit(end, size)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(canvas):
    """GIF89a with a global palette; palette entry 0 is transparent."""
    colours = []
    for row in canvas.pixels:
        for c in row:
            if c is not None and c not in colours:
                colours.append(c)
    palette = [(255, 255, 255)] + colours
    depth = max(1, (len(palette) - 1).bit_length())
    palette += [(0, 0, 0)] * ((1 << depth) - len(palette))
    index = {c: i + 1 for i, c in enumerate(colours)}
    pixels = [0 if c is None else index[c] for row in canvas.pixels for c in row]
    min_code_size = max(2, depth)
    data = _lzw(pixels, min_code_size)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", canvas.width, canvas.height, 0x80 | (depth - 1), 0, 0)
    for r, g, b in palette:
        out += bytes((r, g, b))
    out += bytes((0x21, 0xF9, 4, 0x01, 0, 0, 0, 0))  # transparency: index 0
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, canvas.width, canvas.height, 0)
    out.append(min_code_size)
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out += b"\x00\x3B"
    return bytes(out)


def bmp(canvas, background=(255, 255, 255)):
    """24-bit bottom-up Windows bitmap."""
    stride = (canvas.width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray()
        for c in row:
            r, g, b = c if c is not None else background
            line += bytes((b, g, r))
        body += line + b"\x00" * (stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(body),
                         2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(body), 0, 0, 14 + len(header)) + header + bytes(body)


def ico(canvases):
    """A Windows icon file: one 32-bit image with alpha and its AND mask per canvas."""
    images = []
    for canvas in canvases:
        w, h = canvas.width, canvas.height
        colour = bytearray()
        for row in reversed(canvas.pixels):
            for c in row:
                colour += bytes((c[2], c[1], c[0], 255)) if c is not None else b"\x00\x00\x00\x00"
        mask_stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(canvas.pixels):
            line = bytearray(mask_stride)
            for x, c in enumerate(row):
                if c is None:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += line
        header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
        images.append((w, h, header + bytes(colour) + bytes(mask)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for w, h, data in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return bytes(out)


def png(canvas, background=(255, 255, 255)):
    """For previews only."""
    raw = b"".join(b"\x00" + bytes(v for c in row for v in (c if c is not None else background))
                   for row in canvas.pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


_ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34,
           27, 20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37,
           44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]
_LUMA_Q = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57,
           69, 56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64,
           81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
_CHROMA_Q = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
             99, 99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32
# The example Huffman tables of the JPEG standard (code counts per length, then symbols).
_DC_LUMA = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
_DC_CHROMA = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
_AC_LUMA = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D], bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435"
    "363738393a434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a9293949596"
    "9798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1"
    "f2f3f4f5f6f7f8f9fa"))
_AC_CHROMA = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], bytes.fromhex(
    "000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f11718191a262728"
    "292a35363738393a434445464748494a535455565758595a636465666768696a737475767778797a82838485868788898a92"
    "939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7"
    "e8e9eaf2f3f4f5f6f7f8f9fa"))


def _huffman_codes(table):
    counts, symbols = table
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


def jpeg(canvas, quality=80):
    """Baseline JPEG, YCbCr without subsampling; the width and height are multiples of 8."""
    scale = 5000 // quality if quality < 50 else 200 - 2 * quality
    quant = [[max(1, min(255, (q * scale + 50) // 100)) for q in base] for base in (_LUMA_Q, _CHROMA_Q)]
    cosines = [[math.cos((2 * x + 1) * u * math.pi / 16) for x in range(8)] for u in range(8)]
    tables = [(_huffman_codes(_DC_LUMA), _huffman_codes(_AC_LUMA)),
              (_huffman_codes(_DC_CHROMA), _huffman_codes(_AC_CHROMA))]
    out = bytearray()
    bits = nbits = 0

    def put(code, length):
        nonlocal bits, nbits
        bits = (bits << length) | code
        nbits += length
        while nbits >= 8:
            byte = (bits >> (nbits - 8)) & 0xFF
            out.append(byte)
            if byte == 0xFF:
                out.append(0)
            nbits -= 8
        bits &= (1 << nbits) - 1

    def magnitude(v):
        size = abs(v).bit_length()
        return size, (v if v >= 0 else v + (1 << size) - 1)

    def ycc(c):
        r, g, b = c if c is not None else (255, 255, 255)
        return (0.299 * r + 0.587 * g + 0.114 * b - 128,
                -0.168736 * r - 0.331264 * g + 0.5 * b,
                0.5 * r - 0.418688 * g - 0.081312 * b)

    planes = [[[ycc(c)[k] for c in row] for row in canvas.pixels] for k in range(3)]
    previous_dc = [0, 0, 0]
    for by in range(0, canvas.height, 8):
        for bx in range(0, canvas.width, 8):
            for k in range(3):
                block = [planes[k][by + y][bx + x] for y in range(8) for x in range(8)]
                coeffs = []
                for v in range(8):
                    for u in range(8):
                        s = sum(block[y * 8 + x] * cosines[u][x] * cosines[v][y] for y in range(8) for x in range(8))
                        cu = math.sqrt(0.5) if u == 0 else 1.0
                        cv = math.sqrt(0.5) if v == 0 else 1.0
                        coeffs.append(0.25 * cu * cv * s)
                q = quant[0 if k == 0 else 1]
                zz = [int(round(coeffs[i] / q[i])) for i in _ZIGZAG]
                dc_codes, ac_codes = tables[0 if k == 0 else 1]
                diff = zz[0] - previous_dc[k]
                previous_dc[k] = zz[0]
                size, value = magnitude(diff)
                put(*dc_codes[size])
                if size:
                    put(value, size)
                run = 0
                for coefficient in zz[1:]:
                    if coefficient == 0:
                        run += 1
                        continue
                    while run > 15:
                        put(*ac_codes[0xF0])
                        run -= 16
                    size, value = magnitude(coefficient)
                    put(*ac_codes[(run << 4) | size])
                    put(value, size)
                    run = 0
                if run:
                    put(*ac_codes[0x00])
    if nbits:
        put((1 << (8 - nbits)) - 1, 8 - nbits)

    def segment_(marker, payload):
        return bytes((0xFF, marker)) + struct.pack(">H", len(payload) + 2) + payload

    head = bytearray(b"\xFF\xD8")
    head += segment_(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    for i, q in enumerate(quant):
        head += segment_(0xDB, bytes([i]) + bytes(q[z] for z in _ZIGZAG))
    head += segment_(0xC0, struct.pack(">BHHB", 8, canvas.height, canvas.width, 3)
                     + bytes((1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1)))
    for cls_id, table in ((0x00, _DC_LUMA), (0x10, _AC_LUMA), (0x01, _DC_CHROMA), (0x11, _AC_CHROMA)):
        head += segment_(0xC4, bytes([cls_id]) + bytes(table[0]) + bytes(table[1]))
    head += segment_(0xDA, bytes((3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0)))
    return bytes(head) + bytes(out) + b"\xFF\xD9"


# --- the images ------------------------------------------------------------------------------

def icon(shapes):
    c = Canvas(SIZE, SIZE)
    for shape, colour in shapes:
        c.fill(shape, colour)
    return c


def hilite(canvas):
    """The button under the mouse: the image on a pale rounded plate with a blue edge."""
    plate = Canvas(SIZE, SIZE)
    plate.fill(rect(0.5, 0.5, SIZE - 0.5, SIZE - 0.5), HILITE_EDGE)
    plate.fill(rect(1.5, 1.5, SIZE - 1.5, SIZE - 1.5), HILITE_FILL)
    for x, y in ((0, 0), (SIZE - 1, 0), (0, SIZE - 1), (SIZE - 1, SIZE - 1)):
        plate.pixels[y][x] = None
    return canvas.under(plate)


def inactive(canvas):
    """The disabled button: the image in greys."""
    def grey(c):
        if c is None:
            return None
        level = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]
        return GREY_LIGHT if level > 200 else GREY
    return canvas.map(grey)


def paperclip():
    w = 1.6
    return icon([
        (segment(7.5, 7, 7.5, 17, w), INK), (arc(11.5, 17, 4.8, 3.2, 180, 360), INK),
        (segment(15.5, 17, 15.5, 5, w), INK), (arc(13, 5, 3.3, 1.7, 0, 180), INK),
        (segment(10.5, 5, 10.5, 16, w), INK),
    ])


def arrow(direction, bar):
    """A page-turn triangle, with a bar at the end of travel for first and last page."""
    if direction < 0:
        tri = polygon([(16, 5), (16, 19), (7, 12)])
        bar_shape = rect(4, 5, 6.5, 19)
    else:
        tri = polygon([(8, 5), (8, 19), (17, 12)])
        bar_shape = rect(17.5, 5, 20, 19)
    shapes = [(tri, ARROW)]
    if bar:
        shapes.append((bar_shape, ARROW))
    return icon(shapes)


def page_setup():
    c = icon([
        (polygon([(5, 2), (15, 2), (20, 7), (20, 22), (5, 22)]), FRAME),
        (polygon([(6, 3), (14.5, 3), (19, 7.5), (19, 21), (6, 21)]), PAPER),
        (polygon([(14, 2.5), (14, 8), (19.5, 8)]), FRAME),
    ])
    for y in range(6, 20, 2):  # the dotted margin lines
        c.pixels[y][8] = MARGIN
        c.pixels[y][16] = MARGIN
    for x in range(9, 16, 2):
        c.pixels[5][x] = MARGIN
        c.pixels[19][x] = MARGIN
    return c


def magnifier(sign):
    shapes = [(disc(10, 10, 6), GLASS), (ring(10, 10, 7.5, 5.5), INK), (segment(15, 15, 20.5, 20.5, 3.2), HANDLE)]
    if sign:
        shapes.append((rect(7, 9.25, 13, 10.75), GREEN))
        if sign == "+":
            shapes.append((rect(9.25, 7, 10.75, 13), GREEN))
    return icon(shapes)


def quill_mark(size=SIZE):
    """The product mark: a Q whose tail is a quill."""
    s = size / 24.0
    c = Canvas(size, size)
    c.fill(ring(11 * s, 11 * s, 9 * s, 6.3 * s), INK)
    c.fill(polygon([(p[0] * s, p[1] * s) for p in ((11.5, 11), (16, 11.5), (20, 16), (22.5, 22.5), (16.5, 19.5), (12, 15.5))]), QUILL)
    c.fill(segment(12.5 * s, 12.5 * s, 22 * s, 22 * s, 1.2 * s), INK)
    return c


_FONT = {  # a 5x7 face for the product name
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "i": [".#.", "...", "##.", ".#.", ".#.", ".#.", "###"],
    "l": ["##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "k": ["#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#"],
}


def logo():
    """The small product image at the right of the preview toolbar: the mark and the name."""
    text, scale = "Quillmark", 2
    width = 26 + sum((len(_FONT[ch][0]) + 1) * scale for ch in text) + 2
    c = Canvas(width, SIZE, (255, 255, 255))
    mark = quill_mark()
    for y in range(SIZE):
        for x in range(SIZE):
            if mark.pixels[y][x] is not None:
                c.pixels[y][x + 1] = mark.pixels[y][x]
    x0, y0 = 26, (SIZE - 7 * scale) // 2
    for ch in text:
        glyph = _FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, cell in enumerate(row):
                if cell == "#":
                    for dy in range(scale):
                        for dx in range(scale):
                            c.pixels[y0 + gy * scale + dy][x0 + gx * scale + dx] = INK
        x0 += (len(glyph[0]) + 1) * scale
    return c


def background():
    """A quiet paper texture for page backgrounds."""
    rng = random.Random(2057)
    c = Canvas(64, 64)
    for y in range(64):
        for x in range(64):
            grain = rng.randint(-4, 4) + int(3 * math.sin((x + 2 * y) / 9.0))
            c.pixels[y][x] = (250 + min(5, grain), 247 + grain, 238 + grain)
    return c


def images():
    clip, first, prev = paperclip(), arrow(-1, True), arrow(-1, False)
    nxt, last, setup = arrow(1, False), arrow(1, True), page_setup()
    zoom_in, zoom_out = magnifier("+"), magnifier("-")
    return [
        ("ATTACHMENTS.GIF", gif(clip)), ("ATTACHMENTS_HILITE.GIF", gif(hilite(clip))),
        ("ATTACHMENTS_INACTIVE.GIF", gif(inactive(clip))),
        ("BEGIN.GIF", gif(first)), ("BEGIN_HILITE.GIF", gif(hilite(first))), ("BEGIN_INACTIVE.GIF", gif(inactive(first))),
        ("END.GIF", gif(last)), ("END_HILITE.GIF", gif(hilite(last))), ("END_INACTIVE.GIF", gif(inactive(last))),
        ("NEXT.GIF", gif(nxt)), ("NEXT_HILITE.GIF", gif(hilite(nxt))), ("NEXT_INACTIVE.GIF", gif(inactive(nxt))),
        ("PREV.GIF", gif(prev)), ("PREV_HILITE.GIF", gif(hilite(prev))), ("PREV_INACTIVE.GIF", gif(inactive(prev))),
        ("PRINTCTL.GIF", gif(setup)), ("PRINTCTL_HILITE.GIF", gif(hilite(setup))),
        ("ZOOMIN.GIF", gif(zoom_in)), ("ZOOMIN_HILITE.GIF", gif(hilite(zoom_in))),
        ("ZOOMOUT.GIF", gif(zoom_out)), ("ZOOMOUT_HILITE.GIF", gif(hilite(zoom_out))),
        ("ZOOM_INACTIVE.GIF", gif(inactive(magnifier(None)))),
        ("QUILLMARK_SMALL.BMP", bmp(logo())), ("QMARK.GIF", gif(quill_mark())),
        ("BACKGROUND.JPG", jpeg(background())),
        ("QUILLMARK.ICO", ico([quill_mark(32), quill_mark(16)])),
    ]


def main(argv):
    preview = argv[argv.index("--preview") + 1] if "--preview" in argv else None
    for name, data in images():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
    if preview:
        os.makedirs(preview, exist_ok=True)
        shown = {"clip": paperclip(), "clip_hilite": hilite(paperclip()), "clip_inactive": inactive(paperclip()),
                 "begin": arrow(-1, True), "next": arrow(1, False), "setup": page_setup(),
                 "setup_hilite": hilite(page_setup()), "zoomin": magnifier("+"), "zoomout": magnifier("-"),
                 "zoom_inactive": inactive(magnifier(None)), "qmark": quill_mark(), "logo": logo(),
                 "background": background()}
        for name, canvas in shown.items():
            with open(os.path.join(preview, name + ".png"), "wb") as f:
                f.write(png(canvas))


if __name__ == "__main__":
    main(sys.argv)
