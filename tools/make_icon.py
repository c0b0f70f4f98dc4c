#!/usr/bin/env python3
"""Draws the updater's icon and writes it under app/icons/.

One description of the artwork gives all the files: the SVG for the Linux
desktop, PNG files of 16 to 256 pixels, and the Windows icon file with six
32-bit images (256 as PNG, the others as bitmaps with alpha). The drawing is
a small anti-aliased rasteriser of its own, so nothing but Python is needed.

The artwork: a blue rounded square, the white body of an adapter with its
plug on top, and an orange arrow down into it (firmware going on).
"""
import pathlib
import struct
import zlib

SIZES = [256, 128, 48, 32, 24, 16]
GRID = 256  # the artwork's own coordinates
SAMPLES = 4  # per pixel and axis

BLUE = (0x1F, 0x5F, 0x8B, 255)
BLUE_EDGE = (0x15, 0x44, 0x66, 255)
WHITE = (0xF4, 0xF6, 0xF8, 255)
GREY = (0x9A, 0xA8, 0xB4, 255)
ORANGE = (0xF2, 0x8C, 0x1B, 255)

# (kind, geometry, colour), painted in order.
SHAPES = [
    ("rrect", (8, 8, 248, 248, 44), BLUE_EDGE),
    ("rrect", (16, 16, 240, 240, 38), BLUE),
    ("rrect", (98, 30, 158, 66, 6), GREY),  # the plug
    ("rrect", (62, 60, 194, 214, 18), WHITE),  # the adapter's body
    ("rrect", (116, 70, 140, 150, 4), ORANGE),  # the arrow's shaft
    ("poly", [(78, 138), (178, 138), (128, 196)], ORANGE),  # its head
]


def inside_rrect(x, y, g):
    x0, y0, x1, y1, r = g
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_poly(x, y, points):
    # Convex, either winding: all edge functions of one sign.
    sign = 0
    for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
        cross = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
        if cross != 0:
            if sign == 0:
                sign = 1 if cross > 0 else -1
            elif (cross > 0) != (sign > 0):
                return False
    return True


def bounds(kind, g):
    if kind == "rrect":
        return g[0], g[1], g[2], g[3]
    xs = [p[0] for p in g]
    ys = [p[1] for p in g]
    return min(xs), min(ys), max(xs), max(ys)


def render(size):
    """RGBA rows, top first, straight (not premultiplied) alpha."""
    scale = GRID / size
    pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]
    for kind, g, colour in SHAPES:
        test = inside_rrect if kind == "rrect" else inside_poly
        bx0, by0, bx1, by1 = bounds(kind, g)
        for py in range(max(0, int(by0 / scale) - 1), min(size, int(by1 / scale) + 2)):
            for px in range(max(0, int(bx0 / scale) - 1), min(size, int(bx1 / scale) + 2)):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        x = (px + (sx + 0.5) / SAMPLES) * scale
                        y = (py + (sy + 0.5) / SAMPLES) * scale
                        hits += test(x, y, g)
                if not hits:
                    continue
                a = hits / SAMPLES**2 * colour[3] / 255
                r, gr, b, da = pixels[py][px]
                out = a + da * (1 - a)
                mix = lambda s, d: (s * a + d * da * (1 - a)) / out
                pixels[py][px] = (mix(colour[0], r), mix(colour[1], gr), mix(colour[2], b), out)
    return [[(round(r), round(g), round(b), round(a * 255)) for r, g, b, a in row] for row in pixels]


def png_bytes(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib_bytes(rows):
    """A 32-bit icon bitmap: BGRA bottom-up, then an all-clear AND mask."""
    size = len(rows)
    mask_row = ((size + 31) // 32) * 4
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + mask_row * size, 0, 0, 0, 0)
    return header + pixels + b"\0" * (mask_row * size)


def ico_bytes(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, blob in images:
        dimension = 0 if size == 256 else size
        entries += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    return directory + entries + data


def svg_text():
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{GRID}" height="{GRID}" viewBox="0 0 {GRID} {GRID}">']
    for kind, g, (r, gr, b, a) in SHAPES:
        fill = f"#{r:02x}{gr:02x}{b:02x}"
        if kind == "rrect":
            x0, y0, x1, y1, radius = g
            parts.append(f'  <rect x="{x0}" y="{y0}" width="{x1 - x0}" height="{y1 - y0}" rx="{radius}" fill="{fill}"/>')
        else:
            points = " ".join(f"{x},{y}" for x, y in g)
            parts.append(f'  <polygon points="{points}" fill="{fill}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def main():
    folder = pathlib.Path(__file__).resolve().parent.parent / "app" / "icons"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "vantrel-update.svg").write_text(svg_text())
    images = []
    for size in SIZES:
        rows = render(size)
        png = png_bytes(rows)
        (folder / f"vantrel-update-{size}.png").write_bytes(png)
        # Large images as PNG, as Windows expects; small ones as bitmaps.
        images.append((size, png if size == 256 else dib_bytes(rows)))
    (folder / "vantrel-update.ico").write_bytes(ico_bytes(images))


if __name__ == "__main__":
    main()
