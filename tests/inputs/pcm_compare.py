#!/usr/bin/env python3
"""Compares raw PCM with a reference WAV file's data chunk, sample by sample.

pcm_compare.py RAW REF.wav FORMAT TOLERANCE [OFFSET [ORDER]]
  FORMAT     s16 (little-endian 16-bit integers) or f32 (32-bit floats)
  TOLERANCE  largest allowed difference (integer steps for s16, absolute value for f32)
  OFFSET     samples (all channels counted) of the reference to skip first (default 0)
  ORDER      the reference's channels to compare channel i with, e.g. 0,1,2,4,5,3 (default: the same)
Exit status 0 when the sample counts agree and every difference is within the tolerance; otherwise a
line on standard error says what differs.
"""
import struct
import sys


def wav_data(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a WAV file")
    pos = 12
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"data":
            return data[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    sys.exit(f"{path}: no data chunk")


def main():
    raw_path, ref_path, fmt, tolerance = sys.argv[1:5]
    offset = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    order = [int(x) for x in sys.argv[6].split(",")] if len(sys.argv) > 6 else None
    code, width = {"s16": ("h", 2), "f32": ("f", 4)}[fmt]
    raw = open(raw_path, "rb").read()
    ref = wav_data(ref_path)[offset * width:]
    a = struct.unpack(f"<{len(raw) // width}{code}", raw[:len(raw) // width * width])
    b = struct.unpack(f"<{len(ref) // width}{code}", ref[:len(ref) // width * width])
    if order:
        n = len(order)
        b = tuple(b[i - i % n + order[i % n]] for i in range(len(b) - len(b) % n))
    if len(a) != len(b):
        sys.exit(f"sample counts differ: {len(a)} decoded, {len(b)} in the reference")
    tol = float(tolerance)
    worst, where = 0.0, -1
    for i, (x, y) in enumerate(zip(a, b)):
        d = abs(x - y)
        if d > worst:
            worst, where = d, i
    if worst > tol:
        sys.exit(f"samples differ by up to {worst} (sample {where}: {a[where]} vs {b[where]})")


main()
