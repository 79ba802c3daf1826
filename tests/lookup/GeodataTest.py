#!/usr/bin/env python3
"""Tests of the country data converter (tools/geodata/geodata.py)."""

import json
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools", "geodata"))
import geodata  # noqa: E402


def dotted(text):
    a, b, c, d = (int(part) for part in text.split("."))
    return a << 24 | b << 16 | c << 8 | d


def covered(blocks):
    """The addresses of the blocks as a sorted list of (first, last), checking that each block is
    aligned to its size and that no two overlap."""
    spans = []
    for address, prefix in blocks:
        size = 1 << (32 - prefix)
        assert address % size == 0, "unaligned block %x/%d" % (address, prefix)
        spans.append((address, address + size - 1))
    spans.sort()
    for (_, last), (first, _) in zip(spans, spans[1:]):
        assert last < first, "overlapping blocks"
    return spans


def merged(spans):
    result = []
    for first, last in spans:
        if result and result[-1][1] + 1 == first:
            result[-1] = (result[-1][0], last)
        else:
            result.append((first, last))
    return result


class RangeToBlocks(unittest.TestCase):
    def test_blocks_cover_the_range_exactly_and_fewest(self):
        # (first, last, the blocks expected, or how many of them)
        cases = (
            ("10.0.0.0", "10.0.0.255", [("10.0.0.0", 24)]),
            ("1.2.3.4", "1.2.3.4", [("1.2.3.4", 32)]),
            ("1.0.0.1", "1.0.1.254", 16),  # 1 + 1 + 2 + ... on each side
            ("3.255.255.255", "9.0.0.0", None),
            ("255.255.255.0", "255.255.255.255", [("255.255.255.0", 24)]),
            ("254.0.0.0", "255.255.255.255", [("254.0.0.0", 7)]),
            ("255.255.255.1", "255.255.255.255", None),
            ("0.0.0.0", "255.255.255.255", [("0.0.0.0", 0)]),
        )
        for first, last, expected in cases:
            with self.subTest(first=first, last=last):
                blocks = geodata.range_to_blocks(dotted(first), dotted(last))
                self.assertEqual(merged(covered(blocks)), [(dotted(first), dotted(last))])
                if isinstance(expected, int):
                    self.assertEqual(len(blocks), expected)
                elif expected is not None:
                    self.assertEqual(blocks, [(dotted(a), p) for a, p in expected])
        for first, last in ((5, 4), (-1, 3), (0, 1 << 32)):
            with self.assertRaises(ValueError):
                geodata.range_to_blocks(first, last)


class Files(unittest.TestCase):
    def test_conversion_writes_both_formats(self):
        geoip = (
            "# comment\n"
            "%d,%d,DE\n"
            "%d,%d,??\n"
            "%d,%d,EU\n"
            "%d,%d,us\n"
            "not,a,line\n"
            "7,3,FR\n"
        ) % (dotted("5.0.0.0"), dotted("5.0.255.255"),
             dotted("6.0.0.0"), dotted("6.0.0.255"),
             dotted("7.0.0.0"), dotted("7.0.0.2"),
             dotted("255.255.255.255"), dotted("255.255.255.255"))
        iso = {"3166-1": [{"alpha_2": "DE", "name": "Germany"},
                          {"alpha_2": "US", "name": "United\tStates"},
                          {"alpha_2": "XX"}]}
        with tempfile.TemporaryDirectory() as folder:
            paths = {}
            for name, text in (("geoip", geoip), ("iso.json", json.dumps(iso))):
                paths[name] = os.path.join(folder, name)
                with open(paths[name], "w") as handle:
                    handle.write(text)
            out = os.path.join(folder, "out")
            geodata.main(["--geoip", paths["geoip"], "--iso", paths["iso.json"], "--out", out])
            with open(os.path.join(out, "GeoBase.dat"), "rb") as handle:
                data = handle.read()
            with open(os.path.join(out, "Countries.dat"), "rb") as handle:
                names = handle.read().decode("utf-8")

        self.assertEqual(data[:2], b"\x00\x10")
        blocks, position = {}, 2
        while position < len(data):
            code = data[position:position + 2].decode("ascii")
            (count,) = struct.unpack_from("<i", data, position + 2)
            position += 6
            blocks[code] = [struct.unpack_from("<Ib", data, position + 5 * i)
                            for i in range(count)]
            position += 5 * count
        self.assertEqual(position, len(data))
        self.assertEqual(blocks["DE"], [(dotted("5.0.0.0"), 16)])
        self.assertEqual(blocks["EU"], [(dotted("7.0.0.0"), 31), (dotted("7.0.0.2"), 32)])
        self.assertEqual(blocks["US"], [(dotted("255.255.255.255"), 32)])
        self.assertEqual(sorted(blocks), ["DE", "EU", "US"])
        # 10.0.0.0 is stored as the bytes 00 00 00 0A.
        self.assertEqual(struct.pack("<I", dotted("10.0.0.0")), b"\x00\x00\x00\x0a")
        self.assertEqual(names, "DE\tGermany\nEU\tEurope\nUS\tUnited States\n")


class Ipv6Files(unittest.TestCase):
    def test_ipv6_ranges_are_read_strictly_and_joined_per_country(self):
        lines = [
            "# comment",
            "2001:2::,2001:2::ff,DE",
            "2001:2::100,2001:2::1ff,de",  # touches the one before: joined
            "2001:2::300,2001:2::3ff,DE",
            "2001:2:1::,2001:2:1::ff,??",
            "2001:2:2::5,2001:2:2::4,FR",  # first after last
            "2001:2:3::,2001:2:3::zz,FR",
            "2001:2:4::,2001:2:4::1,FRA",
            "2001:2:5::,2001:2:5::1",
            "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,US",
        ]
        ranges = geodata.read_geoip6(lines)
        data = geodata.geobase6_bytes(ranges)
        self.assertEqual(data[:2], b"\x00\x01")
        blocks, position = {}, 2
        while position < len(data):
            code = data[position:position + 2].decode("ascii")
            (count,) = struct.unpack_from("<i", data, position + 2)
            position += 6
            blocks[code] = [(int.from_bytes(data[position + 32 * i:position + 32 * i + 16], "big"),
                             int.from_bytes(data[position + 32 * i + 16:position + 32 * i + 32],
                                            "big"))
                            for i in range(count)]
            position += 32 * count
        base = 0x20010002 << 96
        self.assertEqual(blocks, {"DE": [(base, base + 0x1FF), (base + 0x300, base + 0x3FF)],
                                  "US": [((1 << 128) - 1, (1 << 128) - 1)]})


if __name__ == "__main__":
    unittest.main()
