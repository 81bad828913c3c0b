#!/usr/bin/python3
"""Draw the plug-in's test-tube icon and write res/icons8-test-tube.tif.

    /usr/bin/python3 tools/make_icon.py            # writes the TIFF
    /usr/bin/python3 tools/make_icon.py --check    # exit 1 if the file is stale

The picture is computed here, pixel by pixel: a glass test tube with a
rounded bottom and a lip at the rim, tilted 30 degrees, two thirds full of a
teal liquid with a lighter meniscus, a highlight along the glass, on a
transparent background.  Edges are anti-aliased by 4x4 supersampling.

The file is a baseline TIFF written with struct only (no imaging library):
little-endian ("II*\\0"), one uncompressed strip, 64x64 pixels, RGBA with
8 bits per sample, chunky (PlanarConfiguration 1), ExtraSamples = 2
(unassociated alpha, so colours are not premultiplied), 72 dpi.
Pure arithmetic, no randomness: the output is the same every run.
"""

import argparse
import math
import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "res", "icons8-test-tube.tif")
SIZE = 64
SUB = 4  # supersamples per axis

# Tube geometry in its own frame: u across (0 = axis), v along the axis,
# v = 0 at the rim, growing towards the bottom.  Units are pixels.
TILT = math.radians(30.0)     # clockwise lean of the top to the right
CENTRE = (32.0, 33.0)         # image point of the tube's middle
LENGTH = 50.0                 # rim to the lowest point of the round bottom
RADIUS = 8.5                  # outer radius of the glass
WALL = 1.6                    # glass wall thickness
LIP = 2.0                     # the lip sticks out this much at the rim
LIP_HEIGHT = 2.6
LIQUID_TOP = 20.0             # v of the liquid surface (axis-perpendicular)

GLASS_EDGE = (52, 74, 96)       # dark blue-grey outline
GLASS_FILL = (225, 238, 248)    # faint blue tint of empty glass
LIQUID = (22, 170, 150)         # teal
LIQUID_DEEP = (10, 120, 120)
MENISCUS = (130, 225, 205)
HIGHLIGHT = (255, 255, 255)


def tube_frame(x, y):
    """Image point -> (u, v) in the tube's frame."""
    dx, dy = x - CENTRE[0], y - CENTRE[1]
    c, s = math.cos(TILT), math.sin(TILT)
    # Rotate back by the tilt; the tube is upright in (u, v').
    u = c * dx + s * dy
    w = -s * dx + c * dy
    return u, w + LENGTH / 2.0


def body_distance(u, v):
    """Distance from the axis segment (rim to bottom centre), for v >= 0."""
    bottom = LENGTH - RADIUS
    if v <= bottom:
        return abs(u)
    return math.hypot(u, v - bottom)


def shade(u, v):
    """RGBA (floats 0..1 for alpha) of one sample point, or None if empty."""
    if v < 0.0:
        return None
    if v < LIP_HEIGHT and abs(u) <= RADIUS + LIP:
        return GLASS_EDGE + (1.0,)
    d = body_distance(u, v)
    if d > RADIUS:
        return None
    if d > RADIUS - WALL:
        return GLASS_EDGE + (1.0,)
    # Inside the glass.
    if v >= LIQUID_TOP:
        if v < LIQUID_TOP + 1.6:
            colour = MENISCUS
        else:
            t = min(1.0, (v - LIQUID_TOP) / (LENGTH - LIQUID_TOP))
            colour = tuple(a + (b - a) * t for a, b in zip(LIQUID, LIQUID_DEEP))
        alpha = 1.0
    else:
        colour, alpha = GLASS_FILL, 0.45
    # A highlight stripe down the left side of the glass.
    if -RADIUS + WALL + 1.2 < u < -RADIUS + WALL + 3.0 and 4.0 < v < LENGTH - RADIUS - 2.0:
        colour, alpha = HIGHLIGHT, max(alpha, 0.85)
    return tuple(colour) + (alpha,)


def render():
    """SIZE x SIZE RGBA bytes, rows top to bottom, unassociated alpha."""
    out = bytearray()
    n = SUB * SUB
    for py in range(SIZE):
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            a_sum = 0.0
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    s = shade(*tube_frame(x, y))
                    if s is None:
                        continue
                    a = s[3]
                    a_sum += a
                    for i in range(3):
                        acc[i] += s[i] * a
            alpha = a_sum / n
            if a_sum > 0:
                rgb = [int(round(c / a_sum)) for c in acc]  # un-premultiply
            else:
                rgb = [0, 0, 0]
            out += bytes(rgb + [int(round(alpha * 255))])
    return bytes(out)


def tiff(width, height, pixels):
    """A little-endian baseline RGBA TIFF with one uncompressed strip."""
    assert len(pixels) == width * height * 4
    SHORT, LONG, RATIONAL = 3, 4, 5
    n_entries = 14
    ifd_at = 8
    extra_at = ifd_at + 2 + 12 * n_entries + 4
    bits_at = extra_at                 # 4 SHORTs
    xres_at = bits_at + 8              # RATIONAL
    yres_at = xres_at + 8              # RATIONAL
    data_at = yres_at + 8
    entries = [  # (tag, type, count, value or offset), sorted by tag
        (256, SHORT, 1, width),        # ImageWidth
        (257, SHORT, 1, height),       # ImageLength
        (258, SHORT, 4, bits_at),      # BitsPerSample 8,8,8,8
        (259, SHORT, 1, 1),            # Compression: none
        (262, SHORT, 1, 2),            # PhotometricInterpretation: RGB
        (273, LONG, 1, data_at),       # StripOffsets
        (277, SHORT, 1, 4),            # SamplesPerPixel
        (278, SHORT, 1, height),       # RowsPerStrip: one strip
        (279, LONG, 1, len(pixels)),   # StripByteCounts
        (282, RATIONAL, 1, xres_at),   # XResolution
        (283, RATIONAL, 1, yres_at),   # YResolution
        (284, SHORT, 1, 1),            # PlanarConfiguration: chunky
        (296, SHORT, 1, 2),            # ResolutionUnit: inch
        (338, SHORT, 1, 2),            # ExtraSamples: unassociated alpha
    ]
    assert len(entries) == n_entries
    assert [e[0] for e in entries] == sorted(e[0] for e in entries)
    out = bytearray(b"II*\0" + struct.pack("<I", ifd_at))
    out += struct.pack("<H", n_entries)
    for tag, typ, count, value in entries:
        if typ == SHORT and count == 1:
            field = struct.pack("<HH", value, 0)  # left-justified in 4 bytes
        else:
            field = struct.pack("<I", value)
        out += struct.pack("<HHI", tag, typ, count) + field
    out += struct.pack("<I", 0)                   # no next IFD
    assert len(out) == bits_at
    out += struct.pack("<4H", 8, 8, 8, 8)
    out += struct.pack("<II", 72, 1) + struct.pack("<II", 72, 1)
    assert len(out) == data_at
    out += pixels
    return bytes(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--check", action="store_true",
                    help="do not write; exit 1 if the TIFF differs")
    args = ap.parse_args()
    data = tiff(SIZE, SIZE, render())
    if args.check:
        with open(OUT, "rb") as f:
            if f.read() != data:
                print("res/icons8-test-tube.tif is stale: run tools/make_icon.py")
                return 1
        return 0
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "wb") as f:
        f.write(data)
    print("wrote %s (%dx%d RGBA, %d bytes)" % (os.path.relpath(OUT, ROOT), SIZE, SIZE, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
