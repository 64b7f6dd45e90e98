#!/usr/bin/env python3
"""Checks of what the sound device played, from a capture of the null sink's monitor (raw float32 LE,
stereo, the sink's rate), and the WAV fixtures they play.

  capture_check.py exact CAPTURE REF.wav [--tolerance T] [--rest OUT]
      REF (float32, int16 or int32 PCM WAV, stereo) is heard exactly (within T) from the capture's first
      non-silent frame, aligned with REF's first non-silent frame; after it only silence (or, with --rest,
      the rest of the capture is written to OUT as raw float32 for further checks).
  capture_check.py tone CAPTURE --hz F --seconds S --level L --rate R
      the non-silent span lasts S (+-0.03 s), peaks at L (+-3 %), and crosses zero at F (+-1 %), not
      counting the few short silences the sound server inserts (see MAX_GAPS below).
  capture_check.py ramps CAPTURE --levels A,B,C... --rate R [--tolerance T]
      from the first non-silent frame on, the left channel sits at A, moves to B, then to C ...; prints the
      seconds each move took, from the last frame at the old level to the first at the new one. A level is
      met within T relative (default 0.002; Wine's SetVolume approximates dB by powers of 2, 1 % off).
      A few short silences the sound server inserts (see MAX_GAPS below), after which the sound resumes at
      the level it left (a fade goes on), are not taken for a move to 0.
  capture_check.py wav OUT --rate R --seconds S --kind dc|square|steps [--bits 16|32f]
      a stereo fixture: dc = 0.5 throughout; steps = +0.5 for the first 40 %, then -0.5; square = full
      scale +-1.0 at 100 Hz with every fourth half-period at +-0.5.
Exit status 1 with a reason on standard error when a check fails.
"""
import array
import math
import struct
import sys


def fail(message):
    sys.stderr.write("capture_check: " + message + "\n")
    sys.exit(1)


def read_raw(path):
    data = array.array("f")
    with open(path, "rb") as f:
        raw = f.read()
    raw = raw[: len(raw) // 8 * 8]
    data.frombytes(raw)
    if sys.byteorder != "little":
        data.byteswap()
    return data


def read_wav(path):
    with open(path, "rb") as f:
        raw = f.read()
    if raw[:4] != b"RIFF" or raw[8:12] != b"WAVE":
        fail(path + ": not a WAV file")
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack_from("<I", raw, pos + 4)[0]
        body = raw[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = struct.unpack_from("<HHIIHH", body, 0)
            if fmt[0] == 0xFFFE:
                fmt = (struct.unpack_from("<H", body, 24)[0],) + fmt[1:]
        elif cid == b"data":
            data = body
        pos += 8 + size + (size & 1)
    tag, channels, rate, _, _, bits = fmt
    if channels != 2:
        fail(path + ": not stereo")
    out = array.array("f")
    if tag == 3 and bits == 32:
        out.frombytes(data[: len(data) // 4 * 4])
    elif tag == 1 and bits == 16:
        ints = array.array("h")
        ints.frombytes(data[: len(data) // 2 * 2])
        out = array.array("f", (v / 32768.0 for v in ints))
    elif tag == 1 and bits == 32:
        ints = array.array("i")
        ints.frombytes(data[: len(data) // 4 * 4])
        out = array.array("f", (v / 2147483648.0 for v in ints))
    else:
        fail(path + ": unsupported sample format")
    return out, rate


def first_sound(samples):
    for i in range(0, len(samples) - 1, 2):
        if samples[i] != 0.0 or samples[i + 1] != 0.0:
            return i // 2
    return None


def options(args, names):
    values = {}
    i = 0
    while i < len(args):
        name = args[i][2:]
        if not args[i].startswith("--") or name not in names:
            fail("unknown option " + args[i])
        values[name] = args[i + 1]
        i += 2
    return values


# Wine's mixer now and then misses its turn on a busy or virtual machine: the sound server then plays a few
# milliseconds of silence and goes on with the very next sample. Such a gap lies outside the program (its own
# buffer holds seconds): up to MAX_GAPS of them, each at most GAP_FRAMES long, where the capture is silent
# while the reference is not and resumes exactly where it stopped, are stepped over and named on standard
# error. Anything longer, more frequent or not resuming in place is a difference.
MAX_GAPS = 10   # seen: four in an 8 s capture on a busy virtual machine
GAP_FRAMES = 1024


def silent_run(samples, i, end, longest=None):
    """Frames from frame i (before frame end) where both channels are 0; past `longest`, it stops counting."""
    z = 0
    while i + z < end and (longest is None or z <= longest) and samples[2 * (i + z)] == 0.0 and \
            samples[2 * (i + z) + 1] == 0.0:
        z += 1
    return z


def exact(capture_path, ref_path, rest):
    o = options(rest, ("tolerance", "rest"))
    tolerance = float(o.get("tolerance", "0"))
    cap = read_raw(capture_path)
    ref, _ = read_wav(ref_path)
    c0, r0 = first_sound(cap), first_sound(ref)
    if c0 is None:
        fail("the capture is silent")
    frames = len(ref) // 2 - r0
    cap_frames = len(cap) // 2

    def same(c, r):
        return abs(cap[2 * c] - ref[2 * r]) <= tolerance and abs(cap[2 * c + 1] - ref[2 * r + 1]) <= tolerance

    def silent(c):
        return cap[2 * c] == 0.0 and cap[2 * c + 1] == 0.0

    worst, where, shift, gaps = 0.0, -1, 0, 0
    for k in range(frames):
        c, r = c0 + shift + k, r0 + k
        if c >= cap_frames:
            fail("the capture ends %d frames early" % (frames - k))
        if not same(c, r) and silent(c) and (ref[2 * r] != 0.0 or ref[2 * r + 1] != 0.0) and gaps < MAX_GAPS:
            z = silent_run(cap, c, cap_frames, GAP_FRAMES)
            if z <= GAP_FRAMES and c + z < cap_frames and same(c + z, r):
                sys.stderr.write("capture_check: %d frames of silence from the sound server before frame %d\n" % (z, k))
                shift += z
                gaps += 1
                c += z
        for channel in (0, 1):
            d = abs(cap[2 * c + channel] - ref[2 * r + channel])
            if d > worst:
                worst, where = d, k
    if worst > tolerance:
        c, r = c0 + shift + where, r0 + where
        fail("frame %d of %d differs by %g (heard %r, expected %r)" % (where, frames, worst, cap[2 * c], ref[2 * r]))
    tail = cap[2 * (c0 + shift + frames):]
    if "rest" in o:
        with open(o["rest"], "wb") as f:
            tail.tofile(f)
        return
    loud = [i // 2 for i, v in enumerate(tail) if v != 0.0]
    if loud:
        fail("sound %d frames after the end (%d frames not silent)" % (loud[0], len(loud)))


def tone(capture_path, rest):
    o = options(rest, ("hz", "seconds", "level", "rate"))
    hz, seconds, level, rate = (float(o[k]) for k in ("hz", "seconds", "level", "rate"))
    cap = read_raw(capture_path)
    left = cap[0::2]
    loud = [i for i, v in enumerate(left) if abs(v) > level * 0.05]
    if not loud:
        fail("the capture is silent")
    # The tone as heard, without the silences the sound server inserted into it (see MAX_GAPS).
    heard, i, gaps = [], loud[0], 0
    while i <= loud[-1]:
        z = silent_run(cap, i, loud[-1] + 1)
        if 2 <= z <= GAP_FRAMES and gaps < MAX_GAPS:
            sys.stderr.write("capture_check: %d frames of silence from the sound server at %.4f s\n" % (z, i / rate))
            gaps += 1
        else:
            heard.extend(left[i:i + max(z, 1)])
        i += max(z, 1)
    span = len(heard) / rate
    if abs(span - seconds) > 0.03:
        fail("heard for %.4f s, expected %.4f s" % (span, seconds))
    peak = max(abs(v) for v in heard)
    if abs(peak - level) > level * 0.03:
        fail("peak %.4f, expected %.4f" % (peak, level))
    crossings = sum(1 for i in range(len(heard) - 1) if (heard[i] < 0) != (heard[i + 1] < 0))
    measured = crossings / 2.0 / span
    if abs(measured - hz) > hz * 0.01:
        fail("%.2f Hz, expected %.2f Hz" % (measured, hz))


def ramps(capture_path, rest):
    o = options(rest, ("levels", "rate", "tolerance"))
    levels = [float(v) for v in o["levels"].split(",")]
    rate = float(o["rate"])
    tolerance = float(o.get("tolerance", "0.002"))
    samples = read_raw(capture_path)
    left = samples[0::2]
    start = first_sound(samples)
    if start is None:
        fail("the capture is silent")

    def at(v, level):
        return abs(v - level) <= max(abs(level) * tolerance, 0.0005)

    gaps = [0]

    def server_gap(i):
        """Frames of a silence the sound server inserted at i (the sound resumes at the level it left), or 0."""
        before = left[i - 1] if i > 0 else 0.0
        if gaps[0] >= MAX_GAPS or at(before, 0.0):
            return 0
        z = silent_run(samples, i, len(left), GAP_FRAMES)
        if z == 0 or z > GAP_FRAMES or i + z == len(left) or not at(left[i + z], before):
            return 0
        gaps[0] += 1
        sys.stderr.write("capture_check: %d frames of silence from the sound server at %.4f s\n" % (z, i / rate))
        return z

    if not at(left[start + 2], levels[0]):
        fail("starts at %r, expected %r" % (left[start + 2], levels[0]))
    pos, out = start, []
    for old, new in zip(levels, levels[1:]):
        i = pos
        while i < len(left):
            if at(left[i], new):
                z = server_gap(i)
                if not z:
                    break
                i += z
            else:
                i += 1
        if i == len(left):
            fail("never reaches %r after %.3f s" % (new, (pos - start) / rate))
        j = i
        while j > pos and not at(left[j - 1], old):
            j -= 1
        out.append((i - j) / rate)
        # stay at the new level a while before looking for the next move
        pos = i
        while pos < len(left):
            if at(left[pos], new):
                pos += 1
            else:
                z = server_gap(pos)
                if not z:
                    break
                pos += z
    print(" ".join("%.4f" % v for v in out))


def wav(out_path, rest):
    o = options(rest, ("rate", "seconds", "kind", "bits"))
    rate, seconds, kind = int(o["rate"]), float(o["seconds"]), o["kind"]
    frames = int(round(rate * seconds))
    values = []
    for n in range(frames):
        if kind == "dc":
            v = 0.5
        elif kind == "steps":
            v = 0.5 if n < frames * 0.4 else -0.5
        elif kind == "square":
            half = (n * 200) // rate
            v = (1.0 if half % 2 == 0 else -1.0) * (0.5 if half % 8 >= 6 else 1.0)
        else:
            fail("unknown kind " + kind)
        values += [v, v]
    if o.get("bits", "32f") == "16":
        data = array.array("h", (max(-32768, min(32767, int(round(v * 32768)))) for v in values))
        tag, bits = 1, 16
    else:
        data = array.array("f", values)
        tag, bits = 3, 32
    body = data.tobytes()
    fmt = struct.pack("<HHIIHH", tag, 2, rate, rate * 2 * bits // 8, 2 * bits // 8, bits)
    with open(out_path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def main():
    if len(sys.argv) < 3:
        fail("usage: see the comment at the top")
    command, path, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
    if command == "exact":
        exact(path, rest[0], rest[1:])
    elif command == "tone":
        tone(path, rest)
    elif command == "ramps":
        ramps(path, rest)
    elif command == "wav":
        wav(path, rest)
    else:
        fail("unknown command " + command)


if __name__ == "__main__":
    main()
