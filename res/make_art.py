#!/usr/bin/env python3
"""Draws the program's pictures from simple shapes: the application icon, the
main dialog's banner and the two transfer animations.

    make_art.py OUTPUT_DIR

writes nimbrel.ico, banner.bmp, http.avi and ftp.avi. Standard library only.
The clips are plain AVI files with one video stream of uncompressed 8-bit frames
and no sound, which is what the animation control plays.
"""

import math
import os
import struct
import sys

# Colours (R, G, B). The clips take their top-left pixel as the transparent colour,
# so BACKDROP must not be used by anything drawn on it.
BACKDROP = (192, 192, 192)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
DARK_GREY = (96, 96, 96)
GREY = (160, 160, 160)
LIGHT_GREY = (224, 224, 224)
NAVY = (16, 32, 96)
BLUE = (40, 96, 200)
SKY = (110, 170, 240)
GREEN = (40, 170, 70)
DARK_GREEN = (20, 110, 40)
YELLOW = (250, 210, 70)
DARK_YELLOW = (190, 140, 30)
RED = (210, 50, 40)


class Canvas:
    """A grid of RGB pixels, row 0 at the top; None means transparent."""

    def __init__(self, width, height, color):
        self.width = width
        self.height = height
        self.rows = [[color] * width for _ in range(height)]

    def put(self, x, y, color):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = color

    def rect(self, x0, y0, x1, y1, color):
        """Fills x0 <= x < x1, y0 <= y < y1."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.rows[y][x] = color

    def frame(self, x0, y0, x1, y1, color):
        self.rect(x0, y0, x1, y0 + 1, color)
        self.rect(x0, y1 - 1, x1, y1, color)
        self.rect(x0, y0, x0 + 1, y1, color)
        self.rect(x1 - 1, y0, x1, y1, color)

    def disc(self, cx, cy, radius, color_at):
        """A filled circle; color_at(dx, dy, distance) picks each pixel's colour."""
        for y in range(int(cy - radius) - 1, int(cy + radius) + 2):
            for x in range(int(cx - radius) - 1, int(cx + radius) + 2):
                dx, dy = x + 0.5 - cx, y + 0.5 - cy
                distance = math.hypot(dx, dy)
                if distance <= radius:
                    color = color_at(dx, dy, distance)
                    if color is not False:
                        self.put(x, y, color)

    def polygon(self, points, color):
        """Fills a polygon by the even-odd rule, sampling pixel centres."""
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(math.ceil(max(ys))) + 1):
            sample = y + 0.5
            crossings = []
            for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
                if (y0 <= sample < y1) or (y1 <= sample < y0):
                    crossings.append(x0 + (sample - y0) * (x1 - x0) / (y1 - y0))
            crossings.sort()
            for left, right in zip(crossings[::2], crossings[1::2]):
                for x in range(int(math.ceil(left - 0.5)), int(math.ceil(right - 0.5))):
                    self.put(x, y, color)

    def colors(self):
        return {c for row in self.rows for c in row if c is not None}


# --- pieces shared by the pictures -------------------------------------------------

def disc_shade(dx, dy, distance, radius, hole):
    """A compact disc: a silver face whose sheen turns with the angle, a clear hub."""
    if distance < hole:
        return None
    if distance < hole * 2.2:
        return LIGHT_GREY if distance > hole * 1.2 else GREY
    if distance > radius - 1:
        return DARK_GREY
    angle = (math.atan2(dy, dx) + math.pi) / (2 * math.pi)
    sheen = [(200, 205, 215), (230, 235, 245), (175, 215, 235), (235, 215, 240),
             (215, 240, 200), (205, 210, 220)]
    return sheen[int(angle * 12) % len(sheen)]


def up_arrow(canvas, x, y, width, height, fill, edge):
    """An arrow pointing up, its box at (x, y)."""
    shaft = width / 3
    head = height * 0.5
    outline = [(x + width / 2, y), (x + width, y + head), (x + width / 2 + shaft / 2, y + head),
               (x + width / 2 + shaft / 2, y + height), (x + width / 2 - shaft / 2, y + height),
               (x + width / 2 - shaft / 2, y + head), (x, y + head)]
    canvas.polygon([(px - 1, py - 1) for px, py in outline], edge)
    canvas.polygon([(px + 1, py + 1) for px, py in outline], edge)
    canvas.polygon(outline, fill)


def page(canvas, x, y):
    """A sheet of paper with a folded corner and three lines of text, 14 x 18."""
    canvas.rect(x, y, x + 14, y + 18, WHITE)
    canvas.frame(x, y, x + 14, y + 18, BLACK)
    for i in range(5):  # the folded corner: cut off right of the diagonal
        canvas.rect(x + 10 + i, y + i, x + 14, y + i + 1, BACKDROP)
        canvas.put(x + 9 + i, y + i, BLACK)
    canvas.rect(x + 9, y, x + 10, y + 5, BLACK)
    canvas.rect(x + 9, y + 4, x + 14, y + 5, BLACK)
    for line in range(3):
        canvas.rect(x + 3, y + 7 + line * 3, x + 11, y + 8 + line * 3, GREY)


def globe(canvas, cx, cy, radius):
    def shade(dx, dy, distance):
        if distance > radius - 1:
            return NAVY
        # land: a few blobs laid over the sea
        for bx, by, br in ((-0.35, -0.3, 0.38), (0.3, 0.25, 0.42), (0.45, -0.5, 0.22)):
            if math.hypot(dx / radius - bx, dy / radius - by) < br:
                return GREEN
        return BLUE
    canvas.disc(cx, cy, radius, shade)
    # meridian and equator
    for t in range(int(-radius) + 1, int(radius)):
        canvas.put(int(cx + t), int(cy), SKY)
        canvas.put(int(cx), int(cy + t), SKY)


def computer(canvas, x, y):
    """A monitor on a stand, 34 x 32."""
    canvas.rect(x, y, x + 34, y + 24, DARK_GREY)
    canvas.rect(x + 2, y + 2, x + 32, y + 21, LIGHT_GREY)
    canvas.rect(x + 4, y + 4, x + 30, y + 19, BLUE)
    canvas.rect(x + 6, y + 6, x + 18, y + 8, SKY)
    canvas.rect(x + 14, y + 24, x + 20, y + 28, DARK_GREY)
    canvas.rect(x + 6, y + 28, x + 28, y + 32, DARK_GREY)
    canvas.rect(x + 7, y + 29, x + 27, y + 31, GREY)


def server(canvas, x, y, blink):
    """A server tower with drive bays, 24 x 36; `blink` lights its lamp."""
    canvas.rect(x, y, x + 24, y + 36, DARK_GREY)
    canvas.rect(x + 2, y + 2, x + 22, y + 34, GREY)
    for bay in range(4):
        top = y + 5 + bay * 6
        canvas.rect(x + 4, top, x + 20, top + 4, LIGHT_GREY)
        canvas.rect(x + 5, top + 1, x + 12, top + 3, DARK_GREY)
    canvas.rect(x + 16, y + 29, x + 20, y + 32, GREEN if blink else DARK_GREEN)


def folder(canvas, x, y):
    """An open folder, 36 x 26."""
    canvas.rect(x, y + 2, x + 14, y + 6, DARK_YELLOW)
    canvas.rect(x, y + 5, x + 36, y + 26, DARK_YELLOW)
    canvas.polygon([(x + 4, y + 10), (x + 36, y + 10), (x + 32, y + 26), (x, y + 26)], YELLOW)


# --- the pictures ------------------------------------------------------------------

def icon_image(size):
    canvas = Canvas(size, size, None)
    radius = size / 2 - 0.5
    canvas.disc(size / 2, size / 2, radius, lambda dx, dy, d: disc_shade(dx, dy, d, radius, size / 14))
    arrow = size * 0.5
    up_arrow(canvas, size - arrow - 2, size - arrow - 2, arrow, arrow, GREEN, DARK_GREEN)
    return canvas


# 5 x 7 letters for the banner's caption
GLYPHS = {
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "W": ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    " ": ["00000"] * 7,
}


def text(canvas, x, y, words, color):
    for letter in words:
        for row, bits in enumerate(GLYPHS[letter]):
            for column, bit in enumerate(bits):
                if bit == "1":
                    canvas.put(x + column, y + row, color)
        x += 6


def banner_image():
    width, height = 112, 68
    canvas = Canvas(width, height, NAVY)
    for y in range(height):  # night-blue to blue, in steps
        step = y * 8 // height
        canvas.rect(0, y, width, y + 1, (16 + step * 6, 32 + step * 10, 96 + step * 14))
    radius = 25
    canvas.disc(30, 34, radius, lambda dx, dy, d: disc_shade(dx, dy, d, radius, 4) or False)
    up_arrow(canvas, 40, 32, 18, 24, GREEN, DARK_GREEN)
    text(canvas, 62, 22, "FIRMWARE", WHITE)
    text(canvas, 62, 33, "ONLINE", YELLOW)
    text(canvas, 62, 44, "UPDATE", WHITE)
    return canvas


def arc_position(start, end, t, lift):
    x = start[0] + (end[0] - start[0]) * t
    y = start[1] + (end[1] - start[1]) * t - lift * math.sin(math.pi * t)
    return int(round(x)), int(round(y))


def http_frames(count=16):
    frames = []
    for n in range(count):
        canvas = Canvas(224, 48, BACKDROP)
        globe(canvas, 24, 24, 20)
        computer(canvas, 182, 8)
        x, y = arc_position((44, 22), (164, 16), n / count, 14)
        page(canvas, x, y)
        frames.append(canvas)
    return frames


def ftp_frames(count=16):
    frames = []
    for n in range(count):
        canvas = Canvas(256, 40, BACKDROP)
        server(canvas, 8, 2, n % 4 < 2)
        folder(canvas, 212, 10)
        for lag in (0, count // 2):  # two pages on the way, half a loop apart
            t = ((n + lag) % count) / count
            x, y = arc_position((36, 14), (196, 12), t, 10)
            page(canvas, x, y)
        frames.append(canvas)
    return frames


# --- file formats --------------------------------------------------------------------

def palette_of(canvases, extra=()):
    colors = sorted(set().union(*(c.colors() for c in canvases)) | set(extra))
    if len(colors) > 256:
        raise SystemExit(f"too many colours for an 8-bit picture: {len(colors)}")
    return colors + [BLACK] * (256 - len(colors))


def dib_rows_8bit(canvas, index, transparent=0):
    """Bottom-up rows of palette indexes, each padded to 4 bytes."""
    stride = (canvas.width + 3) & ~3
    out = bytearray()
    for row in reversed(canvas.rows):
        line = bytes(transparent if c is None else index[c] for c in row)
        out += line + bytes(stride - len(line))
    return bytes(out)


def bitmap_info_8bit(width, height, palette, image_size):
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, image_size, 0, 0, 256, 0)
    return header + b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)


def write_icon(path, sizes):
    images = []
    for size in sizes:
        canvas = icon_image(size)
        palette = palette_of([canvas], [BLACK])
        index = {c: i for i, c in enumerate(palette)}
        pixels = dib_rows_8bit(canvas, index, index[BLACK])
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(canvas.rows):  # 1 = transparent
            bits = bytearray(mask_stride)
            for x, c in enumerate(row):
                if c is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        # The icon's header counts the colour and the mask halves in its height.
        images.append(bitmap_info_8bit(size, size * 2, palette, len(pixels) + len(mask)) + pixels + bytes(mask))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(image), offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


def write_bitmap(path, canvas):
    stride = (canvas.width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(canvas.rows):
        line = b"".join(struct.pack("BBB", b, g, r) for r, g, b in row)
        pixels += line + bytes(stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(header + info + pixels)


def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff_list(kind, fourcc, data):
    return chunk(kind, fourcc + data)


def write_avi(path, frames, frames_per_second=10):
    width, height = frames[0].width, frames[0].height
    palette = palette_of(frames)
    index = {c: i for i, c in enumerate(palette)}
    images = [dib_rows_8bit(f, index) for f in frames]
    frame_size = len(images[0])

    main_header = struct.pack("<IIIIIIIIII16x", 1000000 // frames_per_second, frame_size * frames_per_second, 0,
                              0x10,  # AVIF_HASINDEX
                              len(frames), 0, 1, frame_size, width, height)
    stream_header = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, frames_per_second, 0,
                                len(frames), frame_size, 0xFFFFFFFF, 0, 0, 0, width, height)
    stream_format = bitmap_info_8bit(width, height, palette, frame_size)
    header_list = riff_list(b"LIST", b"hdrl", chunk(b"avih", main_header) +
                            riff_list(b"LIST", b"strl", chunk(b"strh", stream_header) + chunk(b"strf", stream_format)))

    movie = b""
    index_entries = b""
    for image in images:
        # Offsets in the index count from the "movi" tag of the movie list.
        index_entries += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movie), len(image))  # AVIIF_KEYFRAME
        movie += chunk(b"00db", image)
    body = b"AVI " + header_list + riff_list(b"LIST", b"movi", movie) + chunk(b"idx1", index_entries)
    with open(path, "wb") as out:
        out.write(chunk(b"RIFF", body))


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_icon(os.path.join(out, "nimbrel.ico"), [32, 16])
    write_bitmap(os.path.join(out, "banner.bmp"), banner_image())
    write_avi(os.path.join(out, "http.avi"), http_frames())
    write_avi(os.path.join(out, "ftp.avi"), ftp_frames())


if __name__ == "__main__":
    main()
