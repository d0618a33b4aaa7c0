"""bmp_to_png.py IN.bmp OUT.png: a 24-bit bottom-up bitmap as a PNG, with
nothing but the standard library."""

import struct
import sys
import zlib


def main(source, target):
    with open(source, "rb") as file:
        data = file.read()
    if len(data) < 54 or data[:2] != b"BM":
        sys.exit(f"{source}: not a bitmap")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
    if bits != 24 or width <= 0 or height == 0:
        sys.exit(f"{source}: only 24-bit bitmaps")
    stride = (width * 3 + 3) & ~3
    rows = abs(height)
    if offset + stride * rows > len(data):
        sys.exit(f"{source}: cut short")
    raw = bytearray()
    for y in range(rows):
        row = rows - 1 - y if height > 0 else y
        start = offset + row * stride
        line = data[start:start + width * 3]
        raw.append(0)
        for x in range(0, len(line), 3):
            raw += bytes((line[x + 2], line[x + 1], line[x]))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, rows, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    with open(target, "wb") as file:
        file.write(png)


if __name__ == "__main__":
    main(*sys.argv[1:3])
