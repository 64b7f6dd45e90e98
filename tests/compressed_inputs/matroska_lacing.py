#!/usr/bin/env python3
"""The lacing kinds of a Matroska file's blocks: prints "none N xiph N fixed N ebml N".

matroska_lacing.py FILE
"""
import sys

MASTERS = {0x18538067, 0x1F43B675, 0xA0}  # Segment, Cluster, BlockGroup
BLOCKS = {0xA3, 0xA1}                      # SimpleBlock, Block


def vint(data, pos, keep_marker):
    first = data[pos]
    length = 1
    while length <= 8 and not first & (0x80 >> (length - 1)):
        length += 1
    value = first if keep_marker else first & (0xFF >> length)
    for i in range(1, length):
        value = value << 8 | data[pos + i]
    return value, pos + length


def walk(data, pos, end, counts):
    while pos < end:
        element, pos = vint(data, pos, True)
        size, pos = vint(data, pos, False)
        if element in MASTERS:
            walk(data, pos, pos + size, counts)
        elif element in BLOCKS:
            _, after = vint(data, pos, False)
            counts[(data[after + 2] >> 1) & 3] += 1
        pos += size


data = open(sys.argv[1], "rb").read()
counts = [0, 0, 0, 0]
walk(data, data.index(b"\x18\x53\x80\x67"), len(data), counts)
print("none %d xiph %d fixed %d ebml %d" % tuple(counts))
