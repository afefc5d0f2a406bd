#!/usr/bin/env python3
"""Writes the package's binary resources into this folder.

The palette bitmaps and the icon are drawn here as ASCII-art grids, one
character per pixel, so the art can be reviewed and changed as text; the
description is written as UTF-16LE without a byte-order mark. Only the
standard library is used. Run it after changing the art and commit both this
script and its output:

    python3 package/resources/make_resources.py [--preview DIR]

--preview also writes each image as an 8x scaled PNG into DIR for viewing.
"""
import argparse
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

DESCRIPTION = "Regular Expression Components"

# The 16 colours of the Windows VGA palette, in their usual order.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# 256 colours: the VGA 16, a 6x6x6 colour cube and a 24-step grey ramp.
PALETTE256 = (
    VGA16
    + [(r, g, b) for r in range(0, 256, 51) for g in range(0, 256, 51) for b in range(0, 256, 51)]
    + [(8 + 10 * i,) * 3 for i in range(24)]
)

# Pixel letters for the palette bitmaps. '.' is the background; it also sits
# in the bottom-left pixel, which a palette treats as the transparent colour.
BITMAP_COLOURS = {
    '.': (255, 0, 255),    # transparent key
    'K': (0, 0, 0),        # outline
    'S': (192, 192, 192),  # lens rim, lit side
    'G': (128, 128, 128),  # lens rim, shaded side
    'c': (204, 255, 255),  # glass
    'w': (255, 255, 255),  # glint on the glass
    'B': (0, 0, 128),      # the '*' glyph
    'R': (255, 0, 0),      # the '.' glyph
    'L': (204, 153, 102),  # handle, lit edge
    'H': (153, 102, 51),   # handle
    'h': (102, 51, 0),     # handle, shaded edge
    'P': (0, 153, 0),      # plug body
    'p': (102, 204, 102),  # plug body, lit edge
    'Y': (255, 204, 0),    # plug prongs
}

# A magnifying glass over the glyphs ".*".
REGULAREXPRESSION = """
........................
........................
......KKKKKKKK..........
.....KKSSSSSSKK.........
....KSSSccccSSSK........
...KSSwcccccccGGK.......
..KKSwcccccBcccGKK......
..KSwccccBcBcBcGGK......
..KSccccccBBBcccGK......
..KSccccBBBBBBBcGK......
..KSccccccBBBcccGK......
..KScRRccBcBcBccGK......
..KScRRccccBcccGGK......
..KKSccccccccccGKK......
...KSGccccccccGGKKKK....
....KGGGccccGGGKLHHhK...
.....KKGGGGGGKKKKLHHhK..
......KKKKKKKK...KLHHhK.
..................KLHHhK
...................KLHhK
....................KKK.
........................
........................
........................
"""

# The same glass with a plug in the lower left: the interface flavour.
REGULAREXPRESSIONINTERFACE = """
........................
......KKKKKKKK..........
.....KKSSSSSSKK.........
....KSSSccccSSSK........
...KSSwcccccccGGK.......
..KKSwcccccBcccGKK......
..KSwccccBcBcBcGGK......
..KSccccccBBBcccGK......
..KSccccBBBBBBBcGK......
..KSccccccBBBcccGK......
..KScRRccBcBcBccGK......
..KScRRccccBcccGGK......
..KKSccccccccccGKK......
...KSGccccccccGGKKKK....
....KGGGccccGGGKLHHhK...
.....KKGGGGGGKKKKLHHhK..
......KKKKKKKK...KLHHhK.
.....KKKKKK.......KLHHhK
.KYYYKppppPK.......KLHhK
.....KPPPPPKKKKK....KKK.
.KYYYKPPPPPK............
.....KKKKKK.............
........................
........................
"""

# Pixel letters for the 16-colour icon; '.' is transparent through the mask.
ICON_COLOURS = {
    'K': (0, 0, 0),
    'S': (192, 192, 192),
    'G': (128, 128, 128),
    'c': (255, 255, 255),
    'w': (0, 255, 255),
    'B': (0, 0, 255),
    'R': (255, 0, 0),
    'L': (255, 255, 0),
    'H': (128, 128, 0),
    'h': (128, 0, 0),
}

MAINICON = """
................................
................................
................................
.........KKKKKKKK...............
.......KKSSSSSSSSKK.............
......KSSSSSSSSSSSSK............
.....KSSSSccccccSSSSK...........
....KSSScwccccBcccSGGK..........
...KSSScwccBccBccBcGGGK.........
...KSScwccccBcBcBcccGGK.........
..KSSSwccccccBBBccccGGGK........
..KSScccccBBBBBBBBBccGGK........
..KSSccccccccBBBcccccGGK........
..KSScccccccBcBcBccccGGK........
..KSSccccccBccBccBcccGGK........
..KSScRRRcccccBccccccGGK........
..KSScRRRccccccccccccGGK........
..KSSSRRRcccccccccccGGGK........
...KSSccccccccccccccGGK.........
...KSSSccccccccccccGGGK.........
....KSGGccccccccccGGGKKKK.......
.....KGGGGccccccGGGGKLHHhK......
......KGGGGGGGGGGGGKKKLHHhK.....
.......KKGGGGGGGGKK...KLHHhK....
.........KKKKKKKK......KLHHhK...
........................KLHHhK..
.........................KLHHhK.
..........................KLHhK.
...........................KKK..
................................
................................
................................
"""


def grid(art, size):
    rows = art.strip("\n").split("\n")
    assert len(rows) == size and all(len(r) == size for r in rows), "art must be %dx%d" % (size, size)
    return rows


def row_stride(width, bits):
    return (width * bits + 31) // 32 * 4


def pack_row(indices, bits, stride):
    out = bytearray(stride)
    per_byte = 8 // bits
    for x, index in enumerate(indices):
        shift = 8 - bits * (x % per_byte + 1)
        out[x // per_byte] |= index << shift
    return bytes(out)


def info_header(width, height, bits, image_size, colours_used):
    # BITMAPINFOHEADER: 40 bytes, uncompressed (BI_RGB).
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colours_used, 0)


def palette_bytes(colours):
    return b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in colours)


def pixel_indices(rows, letters, palette):
    return [[palette.index(letters[ch]) for ch in row] for row in rows]


def make_bitmap(art):
    rows = grid(art, 24)
    indices = pixel_indices(rows, BITMAP_COLOURS, PALETTE256)
    stride = row_stride(24, 8)
    pixels = b"".join(pack_row(r, 8, stride) for r in reversed(indices))  # bottom-up
    header = info_header(24, 24, 8, len(pixels), 256) + palette_bytes(PALETTE256)
    offset = 14 + len(header)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + header + pixels


def make_icon(art):
    rows = grid(art, 32)
    letters = dict(ICON_COLOURS, **{'.': (0, 0, 0)})  # masked pixels are black in the colour plane
    indices = pixel_indices(rows, letters, VGA16)
    colour = b"".join(pack_row(r, 4, row_stride(32, 4)) for r in reversed(indices))
    mask_rows = [[1 if ch == '.' else 0 for ch in row] for row in rows]
    mask = b"".join(pack_row(r, 1, row_stride(32, 1)) for r in reversed(mask_rows))
    # The icon's header gives twice the height: colour plane plus AND mask.
    image = info_header(32, 64, 4, len(colour) + len(mask), 0) + palette_bytes(VGA16) + colour + mask
    icon_dir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return icon_dir + entry + image


def write_png(path, rows, letters, scale):
    size = len(rows) * scale
    raw = bytearray()
    for row in rows:
        line = bytearray(b"\0")
        for ch in row:
            rgb = (235, 235, 235) if ch == '.' else letters[ch]  # show the background light
            line += bytes(rgb) * scale
        raw += bytes(line) * scale

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw)))
                + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--preview", metavar="DIR", help="also write 8x scaled PNGs into DIR")
    args = parser.parse_args()
    outputs = {
        "DESCRIPTION.utf16le": DESCRIPTION.encode("utf-16-le"),
        "REGULAREXPRESSION.bmp": make_bitmap(REGULAREXPRESSION),
        "REGULAREXPRESSIONINTERFACE.bmp": make_bitmap(REGULAREXPRESSIONINTERFACE),
        "MAINICON.ico": make_icon(MAINICON),
    }
    for name, data in outputs.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, art, letters in (("REGULAREXPRESSION", REGULAREXPRESSION, BITMAP_COLOURS),
                                   ("REGULAREXPRESSIONINTERFACE", REGULAREXPRESSIONINTERFACE, BITMAP_COLOURS),
                                   ("MAINICON", MAINICON, ICON_COLOURS)):
            rows = grid(art, len(art.strip("\n").split("\n")))
            write_png(os.path.join(args.preview, name + ".png"), rows, letters, 8)


if __name__ == "__main__":
    main()
