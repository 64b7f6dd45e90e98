#!/usr/bin/env python3
"""Compares two decodes of one lossy stream that may be shifted against each other.

pcm_align.py OURS REF CHANNELS EXPECTED_SHIFT SEARCH SKIP
  OURS, REF        raw little-endian 16-bit interleaved PCM
  EXPECTED_SHIFT   frames by which OURS is expected to lag REF (ours[i + shift] ~ ref[i])
  SEARCH           the shift is looked for within EXPECTED_SHIFT +- SEARCH frames
  SKIP             frames at the start of the overlap left out of the comparison
Prints "shift N snr X rms_ours Y rms_ref Z" (dB); the caller checks the numbers.
"""
import math
import struct
import sys


def load(path, channels):
    data = open(path, "rb").read()
    n = len(data) // 2
    samples = struct.unpack("<%dh" % n, data[:n * 2])
    return [samples[c::channels] for c in range(channels)]


def main():
    ours_path, ref_path, channels, expected, search, skip = sys.argv[1:7]
    channels, expected, search, skip = int(channels), int(expected), int(search), int(skip)
    ours, ref = load(ours_path, channels), load(ref_path, channels)
    a, b = ours[0], ref[0]
    # A window of the reference where the signal is loud, matched against ours at each candidate shift.
    window = 1024
    start = max(range(0, max(1, len(b) - window), 256), key=lambda i: sum(abs(v) for v in b[i:i + window:16]))
    best, best_err = None, None
    for shift in range(expected - search, expected + search + 1):
        lo = start + shift
        if lo < 0 or lo + window > len(a):
            continue
        err = 0
        for k in range(0, window, 4):
            d = a[lo + k] - b[start + k]
            err += d * d
            if best_err is not None and err >= best_err:
                break
        if best_err is None or err < best_err:
            best, best_err = shift, err
    if best is None:
        sys.exit("no overlap to compare")
    signal = noise = 0.0
    for c in range(channels):
        x, y = ours[c], ref[c]
        first = max(0, -best) + skip
        last = min(len(y), len(x) - best)
        for i in range(first, last):
            s = y[i]
            d = x[i + best] - s
            signal += s * s
            noise += d * d
    snr = 99.0 if noise == 0 else 10 * math.log10(max(signal, 1) / noise)

    def rms_db(chs):
        total = sum(v * v for ch in chs for v in ch)
        count = sum(len(ch) for ch in chs)
        return 10 * math.log10(max(total, 1) / max(count, 1))

    print("shift %d snr %.2f rms_ours %.3f rms_ref %.3f" % (best, snr, rms_db(ours), rms_db(ref)))


main()
