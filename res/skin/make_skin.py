#!/usr/bin/python3
"""Draws the installer's skin: the bitmaps, the icon and the licence page.

Run from anywhere: res/skin/make_skin.py
Writes, beside this script, 24-bit bottom-up BMP files in the sizes and frame
orders the window code expects, the icon (16, 32 and 48 pixels, 32-bit with
alpha) and ../license.htm (UTF-16LE with a byte-order mark, from
license.html.txt). Everything is drawn from code, so the same script gives the
same bytes; the generated files are committed too, and the build only reads
them.

Needs Python 3 and, for the finished page's QR code, the qrcode module
(Debian: python3-qrcode).

Sizes and frame orders (resource id: file):
  129 banner.bmp       550 x 195  blue vertical gradient
  130 start.bmp        728 x 46   4 frames 182 x 46: normal, hover, pushed, disabled
  131 close.bmp        140 x 20   4 frames 35 x 20, white x on the banner
  132 minimize.bmp     104 x 20   4 frames 26 x 20, white bar on the banner
  141 checkbox.bmp     160 x 17   8 frames 20 x 17: unchecked normal, hover,
                                  pushed, disabled, then the same checked
  142 chevrons.bmp      52 x 13   4 glyphs 13 x 13: down dark, down light,
                                  up dark, up light
  143 changedir.bmp    308 x 26   4 frames 77 x 26, light-blue boxes, the
                                  pushed one with a dotted focus outline
  144 pathframe.bmp    380 x 26   white box, light-grey rounded border
  145 qrcode.bmp        70 x 70   QR code of the mobile edition's page
  150 done.bmp          37 x 37   white tick in an open circle on the banner
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
WHITE = (255, 255, 255)
BANNER_SIZE = (550, 195)
MOBILE_URL = "https://quorrin.example/mobile"


class Canvas:
    """An RGB picture with the few shapes the skin needs, anti-aliased by
    supersampling each edge pixel."""

    def __init__(self, width, height, fill=WHITE):
        self.width = width
        self.height = height
        self.pixels = [[fill] * width for _ in range(height)]

    def get(self, x, y):
        return self.pixels[y][x]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def blend(self, x, y, colour, alpha):
        if alpha <= 0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        alpha = min(alpha, 1.0)
        old = self.pixels[y][x]
        self.pixels[y][x] = tuple(int(round(o + (c - o) * alpha)) for o, c in zip(old, colour))

    def cover(self, inside, colour, box=None, samples=4, alpha=1.0):
        """Paints `colour` where the predicate inside(x, y) holds, with the
        pixel's coverage measured on a samples x samples grid."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        step = 1.0 / samples
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, alpha * hits / (samples * samples))

    def fill_rect(self, x, y, w, h, colour):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.put(xx, yy, colour)

    def rounded_rect(self, x, y, w, h, r, colour, alpha=1.0):
        def inside(px, py):
            if not (x <= px <= x + w and y <= py <= y + h):
                return False
            cx = min(max(px, x + r), x + w - r)
            cy = min(max(py, y + r), y + h - r)
            return (px - cx) ** 2 + (py - cy) ** 2 <= r * r

        self.cover(inside, colour, (int(x) - 1, int(y) - 1, int(x + w) + 2, int(y + h) + 2), alpha=alpha)

    def rounded_border(self, x, y, w, h, r, colour, thickness=1.0):
        """A rounded rectangle's outline of the given thickness, inside the box."""

        def inside_box(px, py, inset):
            xi, yi, wi, hi, ri = x + inset, y + inset, w - 2 * inset, h - 2 * inset, max(r - inset, 0.01)
            if not (xi <= px <= xi + wi and yi <= py <= yi + hi):
                return False
            cx = min(max(px, xi + ri), xi + wi - ri)
            cy = min(max(py, yi + ri), yi + hi - ri)
            return (px - cx) ** 2 + (py - cy) ** 2 <= ri * ri

        self.cover(lambda px, py: inside_box(px, py, 0) and not inside_box(px, py, thickness), colour,
                   (int(x) - 1, int(y) - 1, int(x + w) + 2, int(y + h) + 2))

    def line(self, ax, ay, bx, by, width, colour, alpha=1.0):
        """A thick segment with round caps."""
        half = width / 2.0

        def inside(px, py):
            dx, dy = bx - ax, by - ay
            t = ((px - ax) * dx + (py - ay) * dy) / float(dx * dx + dy * dy)
            t = max(0.0, min(1.0, t))
            qx, qy = ax + t * dx, ay + t * dy
            return (px - qx) ** 2 + (py - qy) ** 2 <= half * half

        box = (int(min(ax, bx) - half) - 1, int(min(ay, by) - half) - 1, int(max(ax, bx) + half) + 2,
               int(max(ay, by) + half) + 2)
        self.cover(inside, colour, box, alpha=alpha)

    def ring(self, cx, cy, r_outer, r_inner, colour, alpha=1.0, gap=None):
        """A circle's ring; `gap` (start, end) in degrees, counter-clockwise
        from three o'clock with y up, is left open."""

        def inside(px, py):
            d2 = (px - cx) ** 2 + (py - cy) ** 2
            if not (r_inner * r_inner <= d2 <= r_outer * r_outer):
                return False
            if gap:
                angle = math.degrees(math.atan2(cy - py, px - cx)) % 360
                if gap[0] <= angle <= gap[1]:
                    return False
            return True

        self.cover(inside, colour, (int(cx - r_outer) - 1, int(cy - r_outer) - 1, int(cx + r_outer) + 2,
                                    int(cy + r_outer) + 2), alpha=alpha)

    def paste(self, other, dx, dy):
        for y in range(other.height):
            for x in range(other.width):
                self.put(dx + x, dy + y, other.pixels[y][x])


def write_bmp(name, canvas):
    """24-bit bottom-up BMP, rows padded to four bytes."""
    row_size = (canvas.width * 3 + 3) & ~3
    image_size = row_size * canvas.height
    header = struct.pack('<2sIHHI', b'BM', 54 + image_size, 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, canvas.width, canvas.height, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    rows = []
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        for r, g, b in canvas.pixels[y]:
            row += bytes((b, g, r))
        row += b'\0' * (row_size - len(row))
        rows.append(bytes(row))
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(header + info + b''.join(rows))


def strip(frames):
    """Frames of equal size side by side."""
    width = sum(f.width for f in frames)
    out = Canvas(width, frames[0].height)
    x = 0
    for f in frames:
        out.paste(f, x, 0)
        x += f.width
    return out


# --- the banner and what sits on it -------------------------------------------------------------

def banner_colour(y):
    top, bottom = (30, 144, 235), (8, 92, 186)
    t = y / float(BANNER_SIZE[1] - 1)
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(top, bottom))


def make_banner():
    w, h = BANNER_SIZE
    c = Canvas(w, h)
    for y in range(h):
        colour = banner_colour(y)
        for x in range(w):
            c.pixels[y][x] = colour
    # Quiet decoration away from the texts: rings at the right, a soft arc at the left.
    c.ring(500, 160, 120, 116, WHITE, alpha=0.10)
    c.ring(500, 160, 90, 87, WHITE, alpha=0.08)
    c.ring(500, 160, 60, 58, WHITE, alpha=0.06)
    c.ring(40, 230, 150, 146, WHITE, alpha=0.07)
    # A small shield at the left of the heading.
    c.cover(lambda px, py: in_shield(px, py, 80, 60, 40, 48), WHITE, (55, 55, 106, 115), alpha=0.9)
    c.cover(lambda px, py: in_shield(px, py, 80, 66, 28, 36), banner_colour(90), (60, 60, 101, 110))
    c.line(71, 86, 78, 93, 3.2, WHITE)
    c.line(78, 93, 90, 79, 3.2, WHITE)
    return c


def in_shield(px, py, cx, top, width, height):
    """A shield: straight top, sides that curve into a point at the bottom."""
    if py < top or py > top + height:
        return False
    half = width / 2.0
    t = (py - top) / float(height)
    if t < 0.45:
        limit = half
    else:
        u = (t - 0.45) / 0.55
        limit = half * math.cos(u * math.pi / 2)
    return abs(px - cx) <= limit


def banner_piece(x, y, w, h):
    """The banner under a control placed on it, so that its frames blend in."""
    c = Canvas(w, h)
    for yy in range(h):
        colour = banner_colour(y + yy)
        for xx in range(w):
            c.pixels[yy][xx] = colour
    return c


def make_close():
    frames = []
    for look in ('normal', 'hover', 'pushed', 'disabled'):
        f = banner_piece(514, 1, 35, 20)
        if look == 'hover':
            f.fill_rect(0, 0, 35, 20, (232, 17, 35))
        elif look == 'pushed':
            f.fill_rect(0, 0, 35, 20, (170, 10, 25))
        colour = (150, 180, 215) if look == 'disabled' else WHITE
        f.line(13, 6, 22, 14, 1.6, colour)
        f.line(22, 6, 13, 14, 1.6, colour)
        frames.append(f)
    return strip(frames)


def make_minimize():
    frames = []
    for look in ('normal', 'hover', 'pushed', 'disabled'):
        f = banner_piece(488, 1, 26, 20)
        if look == 'hover':
            for y in range(20):
                for x in range(26):
                    f.blend(x, y, WHITE, 0.22)
        elif look == 'pushed':
            for y in range(20):
                for x in range(26):
                    f.blend(x, y, (0, 0, 0), 0.18)
        colour = (150, 180, 215) if look == 'disabled' else WHITE
        f.line(8, 10.5, 18, 10.5, 1.6, colour)
        frames.append(f)
    return strip(frames)


def make_done():
    f = banner_piece(182, 86, 37, 37)
    f.ring(18.5, 18.5, 17.5, 15.5, WHITE, gap=(35, 65))
    f.line(10, 19, 16, 25, 2.6, WHITE)
    f.line(16, 25, 30, 9, 2.6, WHITE)
    return f


# --- controls on white ---------------------------------------------------------------------------

def make_start():
    looks = [(0, 160, 233), (44, 184, 246), (0, 128, 196), (200, 200, 200)]
    frames = []
    for colour in looks:
        f = Canvas(182, 46)
        f.rounded_rect(0, 0, 182, 46, 5, colour)
        frames.append(f)
    return strip(frames)


def make_changedir():
    looks = [((234, 245, 253), (150, 198, 236)), ((218, 238, 253), (98, 175, 235)),
             ((200, 228, 250), (70, 150, 220)), ((242, 242, 242), (200, 200, 200))]
    frames = []
    for i, (fill, border) in enumerate(looks):
        f = Canvas(77, 26)
        f.rounded_rect(0, 0, 77, 26, 3, border)
        f.rounded_rect(1, 1, 75, 24, 2, fill)
        if i == 2:  # the pushed frame carries a dotted focus outline
            for x in range(4, 73):
                if x % 2 == 0:
                    f.put(x, 3, (40, 40, 40))
                    f.put(x, 22, (40, 40, 40))
            for y in range(3, 23):
                if y % 2 == 1:
                    f.put(4, y, (40, 40, 40))
                    f.put(72, y, (40, 40, 40))
        frames.append(f)
    return strip(frames)


def make_checkbox():
    borders = [(0, 160, 233), (110, 200, 245), (0, 100, 170), (190, 190, 190)]
    frames = []
    for checked in (False, True):
        for colour in borders:
            f = Canvas(20, 17)
            if checked:
                f.rounded_rect(2, 2, 13, 13, 2, colour)
                f.line(5, 8.5, 7.8, 11.3, 1.7, WHITE)
                f.line(7.8, 11.3, 12.3, 5.8, 1.7, WHITE)
            else:
                f.rounded_border(2, 2, 13, 13, 2, colour, 1.2)
            frames.append(f)
    return strip(frames)


def make_chevrons():
    frames = []
    for up in (False, True):
        for colour in ((80, 80, 80), (175, 175, 175)):
            f = Canvas(13, 13)
            if up:
                f.line(3, 8, 6.5, 4.5, 1.5, colour)
                f.line(6.5, 4.5, 10, 8, 1.5, colour)
            else:
                f.line(3, 5, 6.5, 8.5, 1.5, colour)
                f.line(6.5, 8.5, 10, 5, 1.5, colour)
            frames.append(f)
    return strip(frames)


def make_pathframe():
    f = Canvas(380, 26)
    f.rounded_border(0, 0, 380, 26, 3, (205, 205, 205), 1.0)
    return f


def make_qrcode():
    import qrcode  # Debian: python3-qrcode

    qr = qrcode.QRCode(version=3, error_correction=qrcode.constants.ERROR_CORRECT_M, box_size=1, border=0)
    qr.add_data(MOBILE_URL)
    qr.make(fit=False)
    modules = qr.get_matrix()  # 29 x 29 for version 3
    size = len(modules)
    scale = 2
    margin = (70 - size * scale) // 2
    f = Canvas(70, 70)
    for y, row in enumerate(modules):
        for x, dark in enumerate(row):
            if dark:
                f.fill_rect(margin + x * scale, margin + y * scale, scale, scale, (0, 0, 0))
    return f


# --- icon -----------------------------------------------------------------------------------------

def icon_image(size):
    """The application icon as RGBA rows: a blue rounded square with a white shield."""
    s = float(size)
    c = Canvas(size, size, fill=(0, 0, 0))
    alpha = Canvas(size, size, fill=(0, 0, 0))
    radius = s * 0.2
    c.rounded_rect(0, 0, s, s, radius, (16, 120, 215))
    alpha.rounded_rect(0, 0, s, s, radius, WHITE)
    c.cover(lambda px, py: in_shield(px, py, s / 2, s * 0.18, s * 0.58, s * 0.66), WHITE)
    c.line(s * 0.36, s * 0.48, s * 0.46, s * 0.58, max(1.2, s * 0.07), (16, 120, 215))
    c.line(s * 0.46, s * 0.58, s * 0.64, s * 0.38, max(1.2, s * 0.07), (16, 120, 215))
    rows = []
    for y in range(size):
        rows.append([c.pixels[y][x] + (alpha.pixels[y][x][0],) for x in range(size)])
    return rows


def write_icon(name, sizes):
    images = []
    for size in sizes:
        rows = icon_image(size)
        xor = bytearray()
        for y in range(size - 1, -1, -1):
            for r, g, b, a in rows[y]:
                xor += bytes((b, g, r, a))
        mask_row = ((size + 31) // 32) * 4
        andmask = bytearray()
        for y in range(size - 1, -1, -1):
            bits = bytearray(mask_row)
            for x in range(size):
                if rows[y][x][3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            andmask += bits
        info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
        images.append((size, info + bytes(xor) + bytes(andmask)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(out)


def write_license():
    with open(os.path.join(HERE, 'license.html.txt'), encoding='utf-8') as f:
        text = f.read()
    with open(os.path.join(HERE, '..', 'license.htm'), 'wb') as f:
        f.write(b'\xff\xfe' + text.replace('\r\n', '\n').replace('\n', '\r\n').encode('utf-16-le'))


def main():
    write_bmp('banner.bmp', make_banner())
    write_bmp('start.bmp', make_start())
    write_bmp('close.bmp', make_close())
    write_bmp('minimize.bmp', make_minimize())
    write_bmp('checkbox.bmp', make_checkbox())
    write_bmp('chevrons.bmp', make_chevrons())
    write_bmp('changedir.bmp', make_changedir())
    write_bmp('pathframe.bmp', make_pathframe())
    write_bmp('qrcode.bmp', make_qrcode())
    write_bmp('done.bmp', make_done())
    write_icon('qrn.ico', (16, 32, 48))
    write_license()


if __name__ == '__main__':
    main()
