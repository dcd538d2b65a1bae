#!/usr/bin/env python3
"""Writes a few small, valid pictures in nested folders for the demo."""
import os
import struct
import sys
import zlib


def png(width, height, colour):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    rows = b"".join(b"\x00" + bytes(colour) * width for _ in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))


def bmp(width, height, colour):
    row = bytes(reversed(colour)) * width
    row += b"\x00" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def main(root):
    pictures = {
        "cover.png": png(64, 48, (200, 40, 40)),
        "album/2024/sunrise.png": png(120, 80, (250, 180, 60)),
        "album/2024/sea.bmp": bmp(40, 30, (30, 90, 200)),
        "album/2025/forest.png": png(90, 90, (30, 150, 60)),
        "album/notes.txt": b"Pictures for the qibor demo.\r\n",
    }
    for name, data in pictures.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
