#!/usr/bin/env python3
"""Writes the resource lookup test's fixture files into this folder.

Run once; the outputs are kept as binaries. Every image is a tiny valid file whose pixels
differ per name and per scale, so a test that reads the wrong resource sees different bytes.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(width, height, rgb):
    """An 8-bit RGB PNG of one colour."""
    def chunk(kind, data):
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)

    row = b"\x00" + bytes(rgb) * width  # filter type 0, then the pixels
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(row * height, 9)) + chunk(b"IEND", b""))


def grey_jpeg():
    """A baseline 1x1 greyscale JPEG: one Huffman code per table, so the scan is one byte."""
    def segment(marker, data):
        return struct.pack(">BBH", 0xFF, marker, len(data) + 2) + data

    dqt = b"\x00" + bytes([1] * 64)
    sof = struct.pack(">BHHB", 8, 1, 1, 1) + b"\x01\x11\x00"
    # DC table 0 and AC table 0, each with a single one-bit code: DC category 0, AC end of block.
    dht_dc = b"\x00" + bytes([1] + [0] * 15) + b"\x00"
    dht_ac = b"\x10" + bytes([1] + [0] * 15) + b"\x00"
    sos = b"\x01\x01\x00\x00\x3f\x00"
    scan = b"\x3f"  # bits 0 (DC 0), 0 (end of block), then ones as padding
    return (b"\xff\xd8" + segment(0xDB, dqt) + segment(0xC0, sof) + segment(0xC4, dht_dc) +
            segment(0xC4, dht_ac) + segment(0xDA, sos) + scan + b"\xff\xd9")


FILES = {
    # Present at every scale, each scale a different size and colour.
    "knob.png": png(1, 1, (200, 30, 30)),
    "knob@2x.png": png(2, 2, (30, 200, 30)),
    "knob@3x.png": png(3, 3, (30, 30, 200)),
    # Present at some scales only: which one a search finds shows the order it tries them in.
    "onlytwo@2x.png": png(2, 2, (10, 20, 30)),
    "onethree.png": png(1, 1, (40, 50, 60)),
    "onethree@3x.png": png(3, 3, (70, 80, 90)),
    "twothree@2x.png": png(2, 2, (100, 110, 120)),
    "twothree@3x.png": png(3, 3, (130, 140, 150)),
    "onetwo.png": png(1, 1, (160, 170, 180)),
    "onetwo@2x.png": png(2, 2, (190, 200, 210)),
    # Too short to be any image (7 bytes), and the shortest accepted (the 8-byte PNG signature).
    "tiny.png": b"\x89PNG\r\n\x1a",
    "eight.png": b"\x89PNG\r\n\x1a\n",
    "Mixed.Case.jpg": grey_jpeg(),
    # Not a usable font: only the TrueType version tag and an empty table directory.
    "dummy.ttf": b"\x00\x01\x00\x00" + b"\x00" * 8,
    # Embedded only into the test's loadable module, never into the test program.
    "probe.png": png(4, 1, (1, 2, 3)),
}

for name, data in FILES.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)
