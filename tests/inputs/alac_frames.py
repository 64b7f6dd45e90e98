# Pulls the ALAC magic cookie and the frames out of an MP4 file made by ffmpeg, for the ALAC decoder test:
#   alac_frames.py IN.m4a OUT.frames
# OUT: u32 LE cookie size, the cookie (the inner "alac" box's payload), then per frame u32 LE size and bytes.
import struct, sys

data = open(sys.argv[1], 'rb').read()

def boxes(start, end):
    pos = start
    while pos + 8 <= end:
        size, kind = struct.unpack_from('>I4s', data, pos)
        header = 8
        if size == 1:
            size = struct.unpack_from('>Q', data, pos + 8)[0]; header = 16
        elif size == 0:
            size = end - pos
        yield kind, pos + header, pos + size
        pos += size

def find(start, end, path):
    for kind, a, b in boxes(start, end):
        if kind == path[0]:
            return (a, b) if len(path) == 1 else find(a, b, path[1:])
    raise SystemExit('no box ' + '/'.join(p.decode() for p in path))

stbl = find(0, len(data), [b'moov', b'trak', b'mdia', b'minf', b'stbl'])
a, b = find(stbl[0], stbl[1], [b'stsd'])
entry = a + 8                        # version/flags, entry count
kind = data[entry + 4:entry + 8]
assert kind == b'alac', kind
entry_end = entry + struct.unpack_from('>I', data, entry)[0]
inner = find(entry + 8 + 28, entry_end, [b'alac'])
cookie = data[inner[0]:inner[1]]

a, b = find(stbl[0], stbl[1], [b'stsz'])
fixed, count = struct.unpack_from('>II', data, a + 4)
sizes = [fixed] * count if fixed else list(struct.unpack_from('>%dI' % count, data, a + 12))
try:
    a, b = find(stbl[0], stbl[1], [b'stco'])
    n = struct.unpack_from('>I', data, a + 4)[0]
    offsets = list(struct.unpack_from('>%dI' % n, data, a + 8))
except SystemExit:
    a, b = find(stbl[0], stbl[1], [b'co64'])
    n = struct.unpack_from('>I', data, a + 4)[0]
    offsets = list(struct.unpack_from('>%dQ' % n, data, a + 8))
a, b = find(stbl[0], stbl[1], [b'stsc'])
n = struct.unpack_from('>I', data, a + 4)[0]
runs = [struct.unpack_from('>III', data, a + 8 + 12 * i) for i in range(n)]

out = bytearray(struct.pack('<I', len(cookie)) + cookie)
sample = 0
for chunk in range(len(offsets)):
    per_chunk = [r[1] for r in runs if r[0] <= chunk + 1][-1]
    pos = offsets[chunk]
    for _ in range(per_chunk):
        if sample >= len(sizes): break
        out += struct.pack('<I', sizes[sample]) + data[pos:pos + sizes[sample]]
        pos += sizes[sample]; sample += 1
assert sample == len(sizes), (sample, len(sizes))
open(sys.argv[2], 'wb').write(out)
