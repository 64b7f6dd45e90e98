#!/usr/bin/env python3
"""Prints the tones heard in a capture (raw float32 LE stereo), one line per tone held for at least 0.3 s:
the order in which the player played tones of different pitch. Each 0.1 s block is measured by its zero
crossings and taken as the nearest of the given tones when within 3 % of it (else as none), so a block that
straddles two tracks or a silence counts for nothing.

    pitch_sequence.py cap.raw RATE 330 660 990   ->   660
                                                      990
"""
import array
import sys


def main():
    path, rate = sys.argv[1], int(sys.argv[2])
    known = [int(t) for t in sys.argv[3:]]
    samples = array.array("f")
    with open(path, "rb") as f:
        data = f.read()
    samples.frombytes(data[: len(data) // 8 * 8])
    if sys.byteorder != "little":
        samples.byteswap()
    left = samples[0::2]
    block = rate // 10
    tones = []
    for start in range(0, len(left) - block, block):
        part = left[start:start + block]
        if max(abs(v) for v in part) < 0.02:
            tones.append(None)
            continue
        crossings = sum(1 for i in range(len(part) - 1) if (part[i] < 0) != (part[i + 1] < 0))
        hz = crossings / 2.0 * 10  # half the crossings per 0.1 s, times 10
        nearest = min(known, key=lambda k: abs(k - hz))
        tones.append(nearest if abs(nearest - hz) <= nearest * 0.03 else None)
    # Runs of at least three blocks of one tone, in order.
    heard = []
    run_value, run_length = None, 0
    for t in tones + [None]:
        if t is not None and run_value is not None and t == run_value:
            run_length += 1
            continue
        if run_value is not None and run_length >= 3 and (not heard or heard[-1] != run_value):
            heard.append(run_value)
        run_value, run_length = t, 1 if t is not None else 0
    for h in heard:
        print(h)


main()
