"""The PNG reader of chromium.py on images this test writes itself, every row filter included."""

import os
import struct
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chromium  # noqa: E402


def _filter_row(kind, row, prior, bpp):
    out = bytearray(len(row))
    for i, value in enumerate(row):
        left = row[i - bpp] if i >= bpp else 0
        corner = prior[i - bpp] if i >= bpp else 0
        predictor = [0, left, prior[i], (left + prior[i]) >> 1,
                     chromium._paeth(left, prior[i], corner)][kind]
        out[i] = (value - predictor) & 0xFF
    return bytes([kind]) + bytes(out)


def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def encode_png(rows, width, channels, filters=range(5)):
    """A PNG whose row y uses filter filters[y % len(filters)]."""
    colour = {value: key for key, value in chromium.CHANNELS.items()}[channels]
    filters = list(filters)
    prior, raw = bytes(width * channels), b""
    for y, row in enumerate(rows):
        raw += _filter_row(filters[y % len(filters)], row, prior, channels)
        prior = row
    header = struct.pack(">IIBBBBB", width, len(rows), 8, colour, 0, 0, 0)
    idat = zlib.compress(raw)
    # Two IDAT chunks: the reader must join them.
    return (chromium.PNG_SIGNATURE + _chunk(b"IHDR", header) + _chunk(b"IDAT", idat[:7])
            + _chunk(b"IDAT", idat[7:]) + _chunk(b"IEND", b""))


def gradient(width, height, channels):
    """Rows whose bytes differ from their neighbours, so every filter has work to do."""
    return [bytes((x * 37 + y * 91 + c * 53) & 0xFF for x in range(width) for c in range(channels))
            for y in range(height)]


def with_box(width, height, channels, box):
    """A white image with one black rectangle (x, y, w, h)."""
    bx, by, bw, bh = box
    rows = []
    for y in range(height):
        row = bytearray(b"\xff" * width * channels)
        if by <= y < by + bh:
            row[bx * channels:(bx + bw) * channels] = bytes(bw * channels)
        rows.append(bytes(row))
    return rows


class DecodeTest(unittest.TestCase):
    def test_every_filter_and_colour_type_round_trips(self):
        for channels in (1, 2, 3, 4):
            for kind in range(5):
                with self.subTest(channels=channels, filter=kind):
                    rows = gradient(9, 6, channels)
                    image = chromium.decode_png(encode_png(rows, 9, channels, [kind]))
                    self.assertEqual((image.width, image.height, image.channels), (9, 6, channels))
                    self.assertEqual([bytes(r) for r in image.rows], rows)

    def test_filters_mixed_row_by_row(self):
        rows = gradient(17, 11, 3)
        image = chromium.decode_png(encode_png(rows, 17, 3, [4, 0, 3, 1, 2]))
        self.assertEqual([bytes(r) for r in image.rows], rows)
        self.assertEqual(image.pixel(2, 1), tuple(rows[1][6:9]))

    def test_bad_files_are_refused_with_a_reason(self):
        good = encode_png(gradient(4, 4, 3), 4, 3)
        header_at = len(chromium.PNG_SIGNATURE) + 8
        sixteen_bit = bytearray(good)
        sixteen_bit[header_at + 8] = 16
        bad_filter = bytearray(chromium.PNG_SIGNATURE + _chunk(
            b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0)) + _chunk(
            b"IDAT", zlib.compress(b"\x07\x00")))
        cases = [
            ("not a PNG", b"GIF89a" + good[6:], "not a PNG"),
            ("16-bit", bytes(sixteen_bit), "only 8-bit"),
            ("cut short", good[:len(good) - 30], "cut short|holds|Error"),
            ("unknown filter", bytes(bad_filter), "filter 7"),
            ("no header", chromium.PNG_SIGNATURE + _chunk(b"IEND", b""), "no IHDR"),
        ]
        for name, data, reason in cases:
            with self.subTest(name):
                with self.assertRaisesRegex((ValueError, zlib.error), reason):
                    chromium.decode_png(data)


class BlankRegionTest(unittest.TestCase):
    def test_regions_around_a_box(self):
        box = (10, 5, 6, 4)
        for channels in (3, 4):
            png = encode_png(with_box(32, 16, channels, box), 32, channels)
            cases = [
                ("whole image", (0, 0, 32, 16), False),
                ("the box alone", box, True),
                ("left of the box", (0, 0, 10, 16), True),
                ("right of the box", (16, 0, 16, 16), True),
                ("one pixel into the box", (0, 0, 11, 16), False),
                ("the box's last row", (0, 8, 32, 1), False),
                ("under the box", (0, 9, 32, 7), True),
                ("single pixel", (31, 15, 1, 1), True),
            ]
            for name, rect, blank in cases:
                with self.subTest(name, channels=channels):
                    self.assertEqual(chromium.region_is_blank(png, *rect), blank)

    def test_rectangle_outside_the_image_is_an_error(self):
        png = encode_png(with_box(8, 8, 3, (0, 0, 1, 1)), 8, 3)
        for rect in [(0, 0, 9, 1), (7, 7, 2, 1), (-1, 0, 1, 1), (0, 0, 0, 1)]:
            with self.subTest(rect=rect):
                with self.assertRaisesRegex(ValueError, "not inside"):
                    chromium.region_is_blank(png, *rect)


if __name__ == "__main__":
    unittest.main()
