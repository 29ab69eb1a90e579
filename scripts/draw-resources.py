#!/usr/bin/env python3
"""Draws the program's pictures as 16-colour BMP/ICO files into app/resources/.

Plain Python, no packages: the same run always writes the same bytes, so the committed
files can be checked with `scripts/draw-resources.py --check`.
"""
import os
import struct
import sys

# The standard 16-colour palette, in palette order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, SILVER, GREY, RED, YELLOW, WHITE = 0, 1, 7, 8, 9, 11, 15

# 5 x 7 glyphs, one string per row, '#' set.
GLYPHS = {
    "0": [" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "],
    "1": ["  #  ", " ##  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "4": ["   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "],
    "5": ["#####", "#    ", "#### ", "    #", "    #", "#   #", " ### "],
    "6": ["  ## ", " #   ", "#    ", "#### ", "#   #", "#   #", " ### "],
    "8": [" ### ", "#   #", "#   #", " ### ", "#   #", "#   #", " ### "],
    "B": ["#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "],
    "C": [" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "],
    "I": [" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def fill(self, x0, y0, x1, y1, colour):
        """Fills columns x0..x1-1 and rows y0..y1-1."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.pixels[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour, thickness=1):
        self.fill(x0, y0, x1, y0 + thickness, colour)
        self.fill(x0, y1 - thickness, x1, y1, colour)
        self.fill(x0, y0, x0 + thickness, y1, colour)
        self.fill(x1 - thickness, y0, x1, y1, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(self.height):
            for x in range(self.width):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                    self.pixels[y][x] = colour

    def text(self, x, y, text, colour, scale=1, gap=1):
        for ch in text:
            for row, bits in enumerate(GLYPHS[ch]):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self.fill(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += (5 + gap) * scale


def text_width(text, scale=1, gap=1):
    return len(text) * (5 + gap) * scale - gap * scale


def dib(canvas, height_field=None):
    """BITMAPINFOHEADER, palette and 4-bit rows bottom-up, each padded to 4 bytes."""
    stride = ((canvas.width * 4 + 31) // 32) * 4
    rows = bytearray()
    for y in reversed(range(canvas.height)):
        row = bytearray(stride)
        for x, colour in enumerate(canvas.pixels[y]):
            row[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        rows += row
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, height_field or canvas.height,
                         1, 4, 0, len(rows), 0, 0, 16, 16)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(rows)


def bmp_file(canvas):
    body = dib(canvas)
    offset = 14 + 40 + 16 * 4
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body


def ico_file(canvas):
    # The image part is a DIB of twice the height: the colour rows, then a 1-bit AND mask
    # (all zero: every pixel opaque).
    mask_stride = ((canvas.width + 31) // 32) * 4
    image = dib(canvas, canvas.height * 2) + bytes(mask_stride * canvas.height)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def draw_icon():
    icon = Canvas(32, 32, BLACK)
    icon.fill(2, 2, 30, 30, YELLOW)
    icon.text((32 - text_width("RM", 2)) // 2, 4, "RM", BLACK, scale=2)
    icon.text((32 - text_width("ISP")) // 2 + 1, 21, "ISP", BLACK)
    return icon


def draw_toolbar():
    bar = Canvas(96, 24, SILVER)
    # 0: the burn button, a red disc.
    bar.disc(12, 12, 9.5, MAROON)
    bar.disc(12, 12, 8.5, RED)
    # 1 and 2: the port and rate buttons, a black C and a black B.
    bar.text(24 + 5, 2, "C", BLACK, scale=3)
    bar.text(48 + 5, 2, "B", BLACK, scale=3)
    # 3: Select IC, a chip outline on a yellow ground.
    bar.fill(72, 0, 96, 24, YELLOW)
    bar.frame(76, 6, 92, 18, BLACK)
    for x in range(78, 91, 3):
        bar.fill(x, 3, x + 2, 6, BLACK)
        bar.fill(x, 18, x + 2, 21, BLACK)
    return bar


def draw_chip(digits):
    chip = Canvas(170, 69, RED)
    body_left, body_top, body_right, body_bottom = 8, 14, 162, 55
    pin_width, pin_pitch = 8, 19
    first_pin = body_left + (body_right - body_left - 7 * pin_pitch - pin_width) // 2
    for i in range(8):
        x = first_pin + i * pin_pitch
        chip.fill(x, 4, x + pin_width, body_top, BLACK)
        chip.fill(x, body_bottom, x + pin_width, 65, BLACK)
    chip.fill(body_left, body_top, body_right, body_bottom, GREY)
    chip.frame(body_left, body_top, body_right, body_bottom, BLACK)
    # The notch that marks pin 1's end.
    notch_cy = (body_top + body_bottom) / 2
    for y in range(body_top, body_bottom):
        for x in range(body_left, body_left + 8):
            if (x + 0.5 - body_left) ** 2 + (y + 0.5 - notch_cy) ** 2 <= 7 * 7:
                chip.pixels[y][x] = BLACK if (x + 0.5 - body_left) ** 2 + (y + 0.5 - notch_cy) ** 2 > 6 * 6 else RED
    label_width = text_width(digits, 3) + 12 + text_width("ISP", 2)
    x = (body_left + body_right - label_width) // 2 + 4
    chip.text(x, 24, digits, WHITE, scale=3)
    chip.text(x + text_width(digits, 3) + 12, 31, "ISP", YELLOW, scale=2)
    return chip


def outputs():
    return {
        "app.ico": ico_file(draw_icon()),
        "toolbar.bmp": bmp_file(draw_toolbar()),
        "chip_rm5164.bmp": bmp_file(draw_chip("5164")),
        "chip_rm5168.bmp": bmp_file(draw_chip("5168")),
    }


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "resources")
    check = "--check" in sys.argv[1:]
    stale = []
    for name, data in outputs().items():
        path = os.path.join(folder, name)
        if check:
            with open(path, "rb") as f:
                if f.read() != data:
                    stale.append(name)
        else:
            with open(path, "wb") as f:
                f.write(data)
    if stale:
        print("draw-resources: out of date: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
