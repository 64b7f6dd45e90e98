#!/usr/bin/env python3
"""Lists the packets of an Ogg file, one line each: link index, packet number within its stream, length and
MD5 of the bytes. With --skip-comments, packet 1 of every stream (the comment packet of Vorbis, Opus and
FLAC) is left out, so two files whose audio and other headers agree give the same listing.

ogg_packets.py FILE [--skip-comments] [--skip-head]
With --skip-head packet 0 (the identification header, which holds the Opus output gain) is left out too.
Pages with a bad capture pattern or checksum make it fail (exit status 1).
"""
import hashlib
import struct
import sys


def ogg_crc(data):
    crc = 0
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else (crc << 1)
            crc &= 0xFFFFFFFF
    return crc


def main():
    path = sys.argv[1]
    skip_comments = "--skip-comments" in sys.argv[2:]
    skip_head = "--skip-head" in sys.argv[2:]
    data = open(path, "rb").read()
    pos, links, serial_link, packets, partial = 0, 0, {}, {}, {}
    while pos < len(data):
        if data[pos:pos + 4] != b"OggS":
            sys.exit(f"no page at offset {pos}")
        flags, serial = data[pos + 5], struct.unpack("<I", data[pos + 14:pos + 18])[0]
        count = data[pos + 26]
        lacing = data[pos + 27:pos + 27 + count]
        header_len = 27 + count
        body_len = sum(lacing)
        page = bytearray(data[pos:pos + header_len + body_len])
        stored = struct.unpack("<I", page[22:26])[0]
        page[22:26] = b"\0\0\0\0"
        if ogg_crc(page) != stored:
            sys.exit(f"bad checksum in the page at offset {pos}")
        if flags & 2:
            serial_link[serial] = links
            links += 1
            packets[serial] = 0
            partial[serial] = b""
        body = data[pos + header_len:pos + header_len + body_len]
        at = 0
        for value in lacing:
            partial[serial] += body[at:at + value]
            at += value
            if value < 255:
                number = packets[serial]
                if not (skip_comments and number == 1) and not (skip_head and number == 0):
                    blob = partial[serial]
                    print(serial_link[serial], number, len(blob), hashlib.md5(blob).hexdigest())
                packets[serial] += 1
                partial[serial] = b""
        pos += header_len + body_len


main()
