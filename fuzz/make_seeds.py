#!/usr/bin/env python3
"""Writes the small seed corpora in fuzz/corpus/<target>/ (run again after changing a seed)."""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def ipv4(protocol, payload, source=b"\xc6\x12\x00\x01", destination=b"\xc6\x12\x00\x02",
         fragment=0):
    total = 20 + len(payload)
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, total, 1, fragment, 64, protocol, 0,
                         source, destination)
    return header + payload


def ipv6(chain, protocol, payload, fragment=0):
    """chain: the extension header numbers in order; each is 8 bytes (the fragment header with
    the given offset field)."""
    headers = b""
    kinds = list(chain) + [protocol]
    for kind, following in zip(kinds, kinds[1:]):
        if kind == 44:
            headers += struct.pack("!BBHI", following, 0, fragment, 1)
        else:
            headers += struct.pack("!BB6s", following, 0, bytes(6))
    body = headers + payload
    return (struct.pack("!IHBB", 0x60000000, len(body), kinds[0], 64) + b"\x20\x01\x00\x02" +
            bytes(11) + b"\x02" + b"\x20\x01\x00\x02" + bytes(11) + b"\x01" + body)


TCP = ipv4(6, struct.pack("!HHIIBBHHH", 40000, 80, 1, 0, 0x50, 0x02, 1024, 0, 0))
UDP = ipv4(17, struct.pack("!HHHH", 5353, 53, 12, 0) + b"abcd")
ICMP = ipv4(1, b"\x08\x00\x00\x00\x00\x01\x00\x01")
FRAGMENT = ipv4(17, b"\x00\x35\x00\x35", fragment=0x0010)
MACS = b"\x02\x00\x00\x00\x00\x02" + b"\x02\x00\x00\x00\x00\x01"
ETHERNET = MACS + b"\x08\x00"
SLL = struct.pack("!HHH", 0, 1, 6) + b"\x02\x00\x00\x00\x00\x01\x00\x00" + b"\x08\x00"
SLL2 = struct.pack("!HHIHBB", 0x0800, 0, 2, 1, 0, 6) + b"\x02\x00\x00\x00\x00\x01\x00\x00"
NULL_LE = struct.pack("<I", 2)
LOOP_BE = struct.pack(">I", 2)
TCP6 = ipv6([0, 60, 44], 6, TCP[20:])
UDP6 = ipv6([], 17, UDP[20:])
FRAGMENT6 = ipv6([43, 44], 17, b"\x00\x35\x00\x35", fragment=0x00B9)
ETHERNET6 = MACS + b"\x86\xdd"

# Index into the target's link type list: EN10MB, LINUX_SLL, LINUX_SLL2, RAW, IPV4, NULL, LOOP,
# and IPV6 at 10.
FRAMES = {
    "ethernet_tcp": bytes([0]) + ETHERNET + TCP,
    "ethernet_fragment": bytes([0]) + ETHERNET + FRAGMENT,
    "ethernet_arp": bytes([0]) + MACS + b"\x08\x06" + bytes(28),
    "sll_udp": bytes([1]) + SLL + UDP,
    "sll2_tcp": bytes([2]) + SLL2 + TCP,
    "raw_icmp": bytes([3]) + ICMP,
    "ipv4_udp": bytes([4]) + UDP,
    "null_tcp": bytes([5]) + NULL_LE + TCP,
    "loop_udp": bytes([6]) + LOOP_BE + UDP,
    "ethernet_short": bytes([0]) + ETHERNET + TCP[:18],
    "ethernet_tcp6": bytes([0]) + ETHERNET6 + TCP6,
    "ethernet_fragment6": bytes([0]) + ETHERNET6 + FRAGMENT6,
    "raw_udp6": bytes([3]) + UDP6,
    "ipv6_tcp6": bytes([10]) + TCP6,
    "null_udp6": bytes([5]) + struct.pack("<I", 24) + UDP6,
}


def pcap(link_type, frames, magic=0xA1B2C3D4, endian="<", cut=0):
    data = struct.pack(endian + "IHHiIII", magic, 2, 4, 0, 0, 65535, link_type)
    for number, frame in enumerate(frames):
        data += struct.pack(endian + "IIII", 1764979200 + number, 0, len(frame), len(frame))
        data += frame
    return data[: len(data) - cut] if cut else data


def pcapng(link_type, frames):
    def block(kind, body):
        body += b"\x00" * (-len(body) % 4)
        length = 12 + len(body)
        return struct.pack("<II", kind, length) + body + struct.pack("<I", length)

    data = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    data += block(1, struct.pack("<HHI", link_type, 0, 65535))
    for frame in frames:
        data += block(6, struct.pack("<IIIII", 0, 0, 0, len(frame), len(frame)) + frame)
    return data


REPLAYS = {
    "ethernet.pcap": pcap(1, [ETHERNET + TCP, ETHERNET + UDP]),
    "ethernet_big_endian.pcap": pcap(1, [ETHERNET + TCP], endian=">"),
    "ethernet_nanoseconds.pcap": pcap(1, [ETHERNET + UDP], magic=0xA1B23C4D),
    "cooked.pcap": pcap(113, [SLL + UDP, SLL + TCP]),
    "cooked2.pcap": pcap(276, [SLL2 + TCP]),
    "raw.pcap": pcap(101, [ICMP, TCP]),
    "null.pcap": pcap(0, [NULL_LE + UDP]),
    "cut.pcap": pcap(1, [ETHERNET + TCP, ETHERNET + UDP], cut=7),
    "wifi.pcap": pcap(105, [bytes(24)]),
    "ethernet6.pcap": pcap(1, [ETHERNET6 + TCP6, ETHERNET6 + FRAGMENT6, ETHERNET + UDP]),
    "ipv6.pcap": pcap(229, [TCP6, UDP6]),
    "ethernet.pcapng": pcapng(1, [ETHERNET + TCP, ETHERNET + UDP]),
}


def geobase(width, blocks):
    data = bytes([0, width])
    for code, ranges in blocks:
        data += code.encode() + struct.pack("<i", len(ranges))
        for dotted, prefix in ranges:
            value = struct.unpack("!I", bytes(int(part) for part in dotted.split(".")))[0]
            data += struct.pack("<IB", value, prefix)
    return data


GEOBASES = {
    "width16": geobase(16, [("NL", [("198.18.0.0", 15), ("9.0.0.0", 8)]),
                            ("DE", [("198.18.4.0", 24), ("1.2.3.4", 32)]),
                            ("US", [("0.0.0.0", 1)])]),
    "width8": geobase(8, [("FR", [("10.0.0.0", 8), ("10.1.0.0", 16)]), ("IT", [("11.0.0.0", 7)])]),
    "width1": geobase(1, [("JP", [("128.0.0.0", 1)])]),
    "damaged": geobase(16, [("NL", [("198.18.0.0", 15)])]) + b"DE\xff\xff\xff\x7f\x01",
}

COUNTRIES = {
    "countries": b"NL\tNetherlands\r\nDE\tGermany\nUS\tUnited States\n",
    "odd_lines": b"\t\tFR\tFrance\t\n\nIT\n\tJP\tJapan\r\nXX\t\n",
}

STORED = {
    "date": b"2026-12-06",
    "datetime": b"2026-12-06 11:22:33",
    "spring_gap": b"2026-03-29 02:30:00",
    "leap_day": b"2028-02-29 23:59:59",
    "hardware": b"00-1a-2B-3C-4D-5E",
    "address": b"198.18.0.1",
    "local": b"0.0.0.0",
    "ip_range": b"198.18.0.1\n198.18.0.255",
    "port_range": b"80\n8080",
}

REPLY_XML = (b'<?xml version="1.0"?>\n<Ombrix>\n<Version>2.7.0.0</Version>\n'
             b"<Changes>\tFaster start\n\tNew report\r\n</Changes>\n</Ombrix>\n")
REPLIES = {
    "newer": b"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n" + REPLY_XML,
    "same": REPLY_XML.replace(b"2.7.0.0", b"2.6.1.0"),
    "no_changes": b'<?xml version="1.0"?><Ombrix><Version>9</Version></Ombrix>',
    "cdata": b'<?xml version="1.0"?><Ombrix><Version> 3.0 </Version>'
             b"<Changes><![CDATA[a&b\r\n<c>]]></Changes></Ombrix>",
}

STORE = {
    "filters": b"M #1|Internet Traffic|#100|#200|0.0.0.0|#1|#1\n"
               b"R #1|#2|198.18.0.0|255.255.0.0|#0\nP #1|#1|#80|#8080|#1\n"
               b"D #1|2026-12-06|#10|#20\nH #1|198.18.0.5|#1|#2|2026-12-06 10:00:00\n"
               b"N 198.18.0.5|host.example\n",
    "hardware_host": b"M #2|Mac|#0|#0|02-00-00-00-00-01|#0|#1\nD #2|2026-03-29|#1|#1\n"
                     b"H #2|10.0.0.1|#5|#5|2026-03-29 02:30:00\n",
    "damaged": b"M #3|x|text|#-1|255.255.255.255||#7\nM #3|dup|#1|#1|garbage|#1|#1\n"
               b"R #3|#9|1.2.3|x|#5\nP #3|#0|#-1|#99999|\nD #3|2026-02-30|#1|#1\n"
               b"H #3|not an ip|#1|#1|yesterday\nN |\n",
}

TARGETS = {
    "fuzz_frame": FRAMES,
    "fuzz_replay": REPLAYS,
    "fuzz_geobase": GEOBASES,
    "fuzz_countries": COUNTRIES,
    "fuzz_stored_text": STORED,
    "fuzz_store_load": STORE,
    "fuzz_version_xml": REPLIES,
    "fuzz_update_reply": {name: bytes([7]) + reply for name, reply in REPLIES.items()},
}

for target, seeds in TARGETS.items():
    folder = os.path.join(CORPUS, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as seed:
            seed.write(data)
