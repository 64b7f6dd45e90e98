#!/usr/bin/env python3
"""Signal-to-noise ratio of decoded 16-bit PCM against a reference, sample by sample.

snr.py DECODED REFERENCE MIN_DB [SKIP [SKIP_DECODED]]
  DECODED, REFERENCE  raw little-endian 16-bit PCM, or WAV files (their data chunk is used)
  MIN_DB              the ratio the pair must reach
  SKIP                interleaved values of the reference to drop first (default 0)
  SKIP_DECODED        interleaved values of the decoded data to drop first (default 0)
Both must then hold the same number of values. Exit status 0 when they do and the ratio is reached; the ratio
is printed either way.
"""
import math
import struct
import sys


def pcm(path):
    data = open(path, "rb").read()
    if data[:4] == b"RIFF" and data[8:12] == b"WAVE":
        pos = 12
        while pos + 8 <= len(data):
            tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
            if tag == b"data":
                data = data[pos + 8:pos + 8 + size]
                break
            pos += 8 + size + (size & 1)
    n = len(data) // 2
    return struct.unpack(f"<{n}h", data[:n * 2])


def main():
    decoded, reference = pcm(sys.argv[1]), pcm(sys.argv[2])
    minimum = float(sys.argv[3])
    skip = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    skip_decoded = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    reference = reference[skip:]
    decoded = decoded[skip_decoded:]
    if len(decoded) != len(reference):
        print(f"length differs: {len(decoded)} values decoded, {len(reference)} in the reference")
        return 1
    signal = sum(float(v) * v for v in reference)
    noise = sum(float(a - b) * (a - b) for a, b in zip(decoded, reference))
    ratio = 200.0 if noise == 0 else 10 * math.log10(max(signal, 1.0) / noise)
    print(f"snr {ratio:.1f} dB")
    return 0 if ratio >= minimum else 1


if __name__ == "__main__":
    sys.exit(main())
