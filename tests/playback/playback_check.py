#!/usr/bin/env python3
"""Fixtures and checks of the playback tests (captures are raw float32 LE stereo at the sink's rate).

  playback_check.py noise OUT.wav --rate R --seconds S --start N
      a float32 stereo WAV of noise between 0.2 and 0.6 (never silent, never repeating), channels differ.
  playback_check.py join OUT.wav RAW[:SCALE]...
      a float32 stereo WAV of the raw float32 stereo files one after another, each multiplied by its scale
      (in single precision, as the player scales).
  playback_check.py stretches CAPTURE REF.wav... --rate R [--fades yes]
      splits the capture's sound into stretches heard exactly from one of the references (silence between
      them is skipped) and prints one line per stretch: REF_INDEX REF_START_SECONDS LENGTH_SECONDS
      CAPTURE_START_SECONDS. Sound that belongs to no reference fails; with --fades, it is skipped (fades
      change the samples), 32 frames at a time, and a stretch found after it may start up to 31 frames
      late. A few short silences the sound server inserts (see capture_check.py) are stepped over: the
      stretch goes on where the capture resumes with the reference's very next sample; each is named on
      standard error.
Exit status 1 with a reason on standard error when a check fails.
"""
import array
import os
import random
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from capture_check import GAP_FRAMES, MAX_GAPS  # noqa: E402


def fail(message):
    sys.stderr.write("playback_check: " + message + "\n")
    sys.exit(1)


def options(args, names):
    values, positional, i = {}, [], 0
    while i < len(args):
        if args[i].startswith("--"):
            name = args[i][2:]
            if name not in names:
                fail("unknown option " + args[i])
            values[name] = args[i + 1]
            i += 2
        else:
            positional.append(args[i])
            i += 1
    return values, positional


def write_wav(path, samples, rate):
    body = samples.tobytes()
    fmt = struct.pack("<HHIIHH", 3, 2, rate, rate * 8, 8, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def read_wav_bytes(path):
    with open(path, "rb") as f:
        raw = f.read()
    pos = 12
    fmt = None
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack_from("<I", raw, pos + 4)[0]
        body = raw[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body, 0)
        elif cid == b"data":
            if fmt is None or fmt[0] != 3 or fmt[1] != 2 or fmt[5] != 32:
                fail(path + ": not a float32 stereo WAV")
            return body[: len(body) // 8 * 8]
        pos += 8 + size + (size & 1)
    fail(path + ": no data")


def noise(out, rest):
    o, _ = options(rest, ("rate", "seconds", "start"))
    rate = int(o["rate"])
    frames = int(round(rate * float(o["seconds"])))
    rnd = random.Random(int(o["start"]))
    data = array.array("f", (0.2 + 0.4 * rnd.random() for _ in range(2 * frames)))
    write_wav(out, data, rate)


def join(out, rest):
    data = array.array("f")
    for item in rest:
        path, _, scale = item.partition(":")
        part = array.array("f")
        with open(path, "rb") as f:
            raw = f.read()
        part.frombytes(raw[: len(raw) // 8 * 8])
        if scale:
            s = array.array("f", [float(scale)])[0]
            # float32 x float32 is exact in double; storing it rounds as the player's float multiply does
            part = array.array("f", (v * s for v in part))
        data.extend(part)
    write_wav(out, data, 44100)


def common_bytes(cap, c, ref, r):
    """How many bytes from cap[c] on equal those from ref[r] on (whole frames)."""
    length = 0
    step = 4096
    while step >= 8:
        while c + length + step <= len(cap) and r + length + step <= len(ref) and \
                cap[c + length:c + length + step] == ref[r + length:r + length + step]:
            length += step
        step //= 2
    return length


def stretches(capture, rest):
    o, refs = options(rest, ("rate", "fades"))
    rate = float(o["rate"])
    fades = o.get("fades") == "yes"
    with open(capture, "rb") as f:
        cap = f.read()
    cap = cap[: len(cap) // 8 * 8]
    ref_bytes = [read_wav_bytes(r) for r in refs]
    zero = b"\0" * 8
    window = 32 * 8
    pos, gaps = 0, 0
    while pos < len(cap):
        if cap[pos:pos + 8] == zero:
            pos += 8
            continue
        piece = cap[pos:pos + window]
        found = None
        for index, ref in enumerate(ref_bytes):
            at = ref.find(piece)
            while at >= 0 and at % 8:
                at = ref.find(piece, at + 1)
            if at >= 0:
                found = (index, at)
                break
        if found is None:
            if fades:
                pos += window
                continue
            fail("sound at %.4f s of the capture belongs to no reference" % (pos / 8 / rate))
        index, at = found
        ref = ref_bytes[index]
        length = common_bytes(cap, pos, ref, at)
        shift = 0
        while gaps < MAX_GAPS and at + length < len(ref) and ref[at + length:at + length + 8] != zero:
            c = pos + shift + length
            z = 0
            while c + 8 * z < len(cap) and z <= GAP_FRAMES and cap[c + 8 * z:c + 8 * z + 8] == zero:
                z += 1
            resumed = c + 8 * z
            if z == 0 or z > GAP_FRAMES or cap[resumed:resumed + 8] != ref[at + length:at + length + 8]:
                break
            sys.stderr.write("playback_check: %d frames of silence from the sound server at %.4f s of the capture\n"
                             % (z, c / 8 / rate))
            gaps += 1
            shift += 8 * z
            length += common_bytes(cap, resumed, ref, at + length)
        print("%d %.4f %.4f %.4f" % (index, at / 8 / rate, length / 8 / rate, pos / 8 / rate))
        pos += length + shift


def main():
    if len(sys.argv) < 3:
        fail("usage: see the comment at the top")
    command, path, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    if command == "noise":
        noise(path, rest)
    elif command == "join":
        join(path, rest)
    elif command == "stretches":
        stretches(path, rest)
    else:
        fail("unknown command " + command)


main()
