#!/usr/bin/env python3
"""Builds the country data files "GeoBase.dat", "GeoBase6.dat" and "Countries.dat" from the
Debian packages tor-geoipdb (IPv4 and IPv6 ranges with a two-letter code) and iso-codes (code to
country name).

GeoBase.dat: byte 0 reserved, byte 1 the index width, then one block per country: the two code
bytes, a little-endian signed 32-bit range count, and per range the block's first address as a
little-endian unsigned 32-bit number (first octet most significant) and its prefix length.
GeoBase6.dat: byte 0 reserved, byte 1 the format version (1), then one block per country: the
two code bytes, a little-endian signed 32-bit range count, and per range its first and its last
address, 16 bytes each in network order. Ranges of one country that touch are joined.
Countries.dat: one "code<TAB>name" line per country.
"""

import argparse
import ipaddress
import json
import os
import struct
import sys

INDEX_WIDTH = 16
ADDRESS_SPACE = 1 << 32
GEOBASE6_VERSION = 1

# Codes the location data uses that are not (or no longer) ISO 3166-1 countries.
EXTRA_NAMES = {
    "AP": "Asia/Pacific Region",
    "EU": "Europe",
    "UK": "United Kingdom",
    "CS": "Serbia and Montenegro",
    "AN": "Netherlands Antilles",
}


def range_to_blocks(first, last):
    """Splits the address range first..last (inclusive, host-order integers) into the fewest
    CIDR blocks that cover exactly that range, as (address, prefix length) pairs in order."""
    if not 0 <= first <= last < ADDRESS_SPACE:
        raise ValueError("bad range %r-%r" % (first, last))
    blocks = []
    while first <= last:
        # The largest block that starts at first is limited by first's alignment...
        size = (first & -first) if first else ADDRESS_SPACE
        # ...and by the end of the range.
        while first + size - 1 > last:
            size >>= 1
        blocks.append((first, 32 - (size.bit_length() - 1)))
        first += size
    return blocks


def valid_code(code):
    return len(code) == 2 and code.isascii() and code.isalpha()


def read_geoip6(lines):
    """Reads tor's geoip6 lines ("first,last,CC" with IPv6 addresses) into
    {code: [(first, last), ...]} as integers. Unknown codes ("??"), comments and lines that do
    not parse are left out."""
    ranges = {}
    for line in lines:
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        parts = line.split(",")
        if len(parts) != 3:
            continue
        try:
            first = int(ipaddress.IPv6Address(parts[0].strip()))
            last = int(ipaddress.IPv6Address(parts[1].strip()))
        except ValueError:
            continue
        code = parts[2].strip().upper()
        if not valid_code(code) or first > last:
            continue
        ranges.setdefault(code, []).append((first, last))
    return ranges


def geobase6_bytes(ranges):
    out = bytearray([0, GEOBASE6_VERSION])
    for code in sorted(ranges):
        joined = []
        for first, last in sorted(ranges[code]):
            if joined and joined[-1][1] + 1 >= first:
                joined[-1] = (joined[-1][0], max(joined[-1][1], last))
            else:
                joined.append((first, last))
        out += code.encode("ascii")
        out += struct.pack("<i", len(joined))
        for first, last in joined:
            out += first.to_bytes(16, "big") + last.to_bytes(16, "big")
    return bytes(out)


def read_geoip(lines):
    """Reads tor's geoip lines ("first,last,CC") into {code: [(address, prefix), ...]}.
    Unknown codes ("??"), comments and lines that do not parse are left out."""
    blocks = {}
    for line in lines:
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        parts = line.split(",")
        if len(parts) != 3:
            continue
        try:
            first, last = int(parts[0]), int(parts[1])
        except ValueError:
            continue
        code = parts[2].strip().upper()
        if not valid_code(code):
            continue
        if not 0 <= first <= last < ADDRESS_SPACE:
            continue
        blocks.setdefault(code, []).extend(range_to_blocks(first, last))
    return blocks


def read_names(iso_json):
    """Reads iso-codes' iso_3166-1.json into {alpha_2: name}."""
    names = {}
    for entry in iso_json.get("3166-1", []):
        code, name = entry.get("alpha_2"), entry.get("name")
        if code and name:
            names[code] = name
    return names


def geobase_bytes(blocks, width=INDEX_WIDTH):
    out = bytearray([0, width])
    for code in sorted(blocks):
        ranges = sorted(blocks[code])
        out += code.encode("ascii")
        out += struct.pack("<i", len(ranges))
        for address, prefix in ranges:
            out += struct.pack("<Ib", address, prefix)
    return bytes(out)


def countries_text(names):
    lines = []
    for code in sorted(names):
        # A TAB, CR or LF would end the name early when it is read back.
        name = " ".join(names[code].replace("\t", " ").splitlines())
        lines.append("%s\t%s\n" % (code, name))
    return "".join(lines)


def write_atomically(path, data):
    # The build may be interrupted; a half-written file must never sit beside the program.
    temporary = path + ".tmp"
    with open(temporary, "wb") as handle:
        handle.write(data)
    os.replace(temporary, path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--geoip", required=True, help="tor-geoipdb's IPv4 geoip file")
    parser.add_argument("--geoip6", help="tor-geoipdb's IPv6 geoip6 file")
    parser.add_argument("--iso", required=True, help="iso-codes' iso_3166-1.json")
    parser.add_argument("--out", required=True, help="folder for the data files")
    args = parser.parse_args(argv)

    with open(args.geoip, encoding="ascii", errors="replace") as handle:
        blocks = read_geoip(handle)
    ranges6 = {}
    if args.geoip6:
        with open(args.geoip6, encoding="ascii", errors="replace") as handle:
            ranges6 = read_geoip6(handle)
    with open(args.iso, encoding="utf-8") as handle:
        names = read_names(json.load(handle))
    for code in set(blocks) | set(ranges6):
        if code not in names and code in EXTRA_NAMES:
            names[code] = EXTRA_NAMES[code]

    os.makedirs(args.out, exist_ok=True)
    write_atomically(os.path.join(args.out, "GeoBase.dat"), geobase_bytes(blocks))
    if args.geoip6:
        write_atomically(os.path.join(args.out, "GeoBase6.dat"), geobase6_bytes(ranges6))
    write_atomically(os.path.join(args.out, "Countries.dat"),
                     countries_text(names).encode("utf-8"))
    count = sum(len(ranges) for ranges in blocks.values())
    count6 = sum(len(ranges) for ranges in ranges6.values())
    print("geodata: %d blocks in %d countries, %d IPv6 ranges in %d countries, %d names"
          % (count, len(blocks), count6, len(ranges6), len(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
