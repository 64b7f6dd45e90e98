#!/usr/bin/env python3
"""Writes an MPEG-1 Layer I stream of noise (no Debian tool encodes Layer I).

mp1_frames.py OUT FRAMES [--rate 44100|48000|32000] [--bitrate-index 1..14] [--mode stereo|joint|dual|mono]
              [--crc] [--noise N]
Every frame is valid: bit allocation, scale factors and samples fill the lower subbands within the frame's
bit budget; --noise N picks the noise (the same N, the same file); with --crc the frame carries the CRC-16 over header bytes 2-3 and the bit allocation.
"""
import argparse
import random

BITRATES = [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448]
RATES = {44100: 0, 48000: 1, 32000: 2}
MODES = {"stereo": 0, "joint": 1, "dual": 2, "mono": 3}


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, n):
        for i in range(n - 1, -1, -1):
            self.bits.append((value >> i) & 1)

    def bytes(self):
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            chunk = self.bits[i:i + 8] + [0] * (8 - len(self.bits[i:i + 8]))
            out.append(int("".join(map(str, chunk)), 2))
        return bytes(out)


def crc16(bits, crc=0xFFFF):
    for b in bits:
        top = (crc >> 15) & 1
        crc = (crc << 1) & 0xFFFF
        if top ^ b:
            crc ^= 0x8005
    return crc


def frame(rng, rate, index, mode, crc, padding):
    bitrate = BITRATES[index]
    size = (12 * bitrate * 1000 // rate + padding) * 4
    channels = 1 if mode == 3 else 2
    mode_extension = 1 if mode == 1 else 0
    bound = 4 * (mode_extension + 1) if mode == 1 else 32
    head = Bits()
    head.put(0xFFF, 12)
    head.put(1, 1)          # MPEG-1
    head.put(3, 2)          # Layer I
    head.put(0 if crc else 1, 1)
    head.put(index, 4)
    head.put(RATES[rate], 2)
    head.put(padding, 1)
    head.put(0, 1)
    head.put(mode, 2)
    head.put(mode_extension, 2)
    head.put(0, 4)          # copyright, original, emphasis
    # The budget: allocation for the lower subbands, 4-bit samples, scale factors.
    budget = size * 8 - 32 - (16 if crc else 0) - 32 * 4 * channels
    used, subbands, nbits = 0, 0, 5
    while subbands < 32:
        coded = channels if subbands < bound else 1
        cost = channels * 6 + 12 * nbits * coded
        if used + cost > budget:
            break
        used += cost
        subbands += 1
    alloc = Bits()
    allocation = [[0] * 32 for _ in range(channels)]
    for sb in range(32):
        for ch in range(channels if sb < bound else 1):
            value = nbits - 1 if sb < subbands else 0
            allocation[ch][sb] = value
            alloc.put(value, 4)
        if sb >= bound and channels == 2:
            allocation[1][sb] = allocation[0][sb]
    body = Bits()
    for sb in range(32):
        for ch in range(channels):
            if allocation[ch][sb]:
                body.put(rng.randrange(8, 40), 6)
    for _ in range(12):
        for sb in range(32):
            for ch in range(channels if sb < bound else 1):
                if allocation[ch][sb]:
                    body.put(rng.randrange(0, (1 << nbits) - 1), nbits)
    out = bytearray(head.bytes())
    if crc:
        value = crc16(head.bits[16:32] + alloc.bits)
        out += bytes([value >> 8, value & 0xFF])
    bits = Bits()
    bits.bits = alloc.bits + body.bits
    out += bits.bytes()
    assert len(out) <= size, (len(out), size)
    return bytes(out) + bytes(size - len(out))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("out")
    p.add_argument("frames", type=int)
    p.add_argument("--rate", type=int, default=44100)
    p.add_argument("--bitrate-index", type=int, default=12)
    p.add_argument("--mode", default="stereo")
    p.add_argument("--crc", action="store_true")
    p.add_argument("--noise", type=int, default=1)
    a = p.parse_args()
    rng = random.Random(a.noise)
    with open(a.out, "wb") as f:
        rest = 0
        for _ in range(a.frames):
            # Padding as an encoder spreads it: keeps the average bit rate exact.
            rest += 12 * BITRATES[a.bitrate_index] * 1000 % a.rate
            padding = 1 if rest >= a.rate else 0
            rest -= a.rate if padding else 0
            f.write(frame(rng, a.rate, a.bitrate_index, MODES[a.mode], a.crc, padding))


if __name__ == "__main__":
    main()
