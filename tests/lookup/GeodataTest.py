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


def blocks(data, size, read):
    """The blocks after the 2-byte header as code -> ranges, each range read at its offset."""
    found, position = {}, 2
    while position < len(data):
        (count,) = struct.unpack_from("<i", data, position + 2)
        found[data[position:position + 2].decode("ascii")] = [
            read(position + 6 + size * i) for i in range(count)]
        position += 6 + size * count
    return found, position


class Converter(unittest.TestCase):
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
                # Each block aligned to its size; in order, they join without gap or overlap.
                spans = sorted((a, a + (1 << (32 - p)) - 1) for a, p in blocks)
                for address, prefix in blocks:
                    self.assertEqual(address % (1 << (32 - prefix)), 0)
                for (_, end), (start, _) in zip(spans, spans[1:]):
                    self.assertEqual(end + 1, start)
                self.assertEqual((spans[0][0], spans[-1][1]), (dotted(first), dotted(last)))
                if isinstance(expected, int):
                    self.assertEqual(len(blocks), expected)
                elif expected is not None:
                    self.assertEqual(blocks, [(dotted(a), p) for a, p in expected])
        for first, last in ((5, 4), (-1, 3), (0, 1 << 32)):
            with self.assertRaises(ValueError):
                geodata.range_to_blocks(first, last)

    def test_conversion_writes_both_formats(self):
        lines = ["# comment", "5.0.0.0 5.0.255.255 DE", "6.0.0.0 6.0.0.255 ??",
                 "7.0.0.0 7.0.0.2 EU", "255.255.255.255 255.255.255.255 us"]
        geoip = "\n".join("%d,%d,%s" % (dotted(a), dotted(b), c)
                          for a, b, c in (line.split() for line in lines[1:]))
        geoip = lines[0] + "\n" + geoip + "\nnot,a,line\n7,3,FR\n"
        iso = {"3166-1": [{"alpha_2": "DE", "name": "Germany"},
                          {"alpha_2": "US", "name": "United\tStates"}, {"alpha_2": "XX"}]}
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

        # The width, then blocks: code, count (little-endian), ranges of address and prefix.
        self.assertEqual(data[:2], b"\x00\x10")
        found, end = blocks(data, 5, lambda at: struct.unpack_from("<Ib", data, at))
        self.assertEqual(end, len(data))
        self.assertEqual(found, {"DE": [(dotted("5.0.0.0"), 16)],
                                  "EU": [(dotted("7.0.0.0"), 31), (dotted("7.0.0.2"), 32)],
                                  "US": [(dotted("255.255.255.255"), 32)]})
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
        found, end = blocks(data, 32, lambda at: (int.from_bytes(data[at:at + 16], "big"),
                                                  int.from_bytes(data[at + 16:at + 32], "big")))
        self.assertEqual(end, len(data))
        base = 0x20010002 << 96
        self.assertEqual(found, {"DE": [(base, base + 0x1FF), (base + 0x300, base + 0x3FF)],
                                  "US": [((1 << 128) - 1, (1 << 128) - 1)]})


if __name__ == "__main__":
    unittest.main()
