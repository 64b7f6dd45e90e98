# Musepack through input probing: files made by mpcenc decode within one least significant bit of mpcdec;
# chapters made by mpcchap are subsongs with sample-exact boundaries; tags written by the program are read by
# mutagen and mpcchap, chapter rewrites keep the chapters' start samples; damaged files fail cleanly and a
# failed write leaves the file as it was.
command -v mpcenc >/dev/null || fail "mpcenc (musepack-tools) is not installed"
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"
PY=/usr/bin/python3
"$PY" -c 'import mutagen' 2>/dev/null || fail "python3-mutagen is not installed"

# within_lsb OURS REF: same length, no 16-bit sample more than 1 apart.
within_lsb() {
  "$PY" - "$1" "$2" <<'PY' || exit 1
import struct, sys
a = open(sys.argv[1], 'rb').read(); b = open(sys.argv[2], 'rb').read()
if len(a) != len(b): sys.exit("length %d vs %d bytes" % (len(a), len(b)))
n = len(a) // 2
x = struct.unpack('<%dh' % n, a); y = struct.unpack('<%dh' % n, b)
worst = max((abs(p - q) for p, q in zip(x, y)), default=0)
if worst > 1: sys.exit("largest difference %d" % worst)
PY
}

sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 3 sine 300-2000 whitenoise vol 0.5 || fail "sox"
mpcenc --silent --overwrite src.wav plain.mpc 2>/dev/null || fail "mpcenc"
mpcdec plain.mpc plain.ref.wav >/dev/null 2>&1 || fail "mpcdec"
data_chunk plain.ref.wav plain.ref.pcm
inspect decode "$PWD/plain.mpc" 0 "$PWD/plain.pcm" || { cat err.txt >&2; fail "decode"; }
within_lsb plain.pcm plain.ref.pcm || fail "decoding differs from mpcdec by more than one LSB"

inspect info "$PWD/plain.mpc" > info.txt || { cat err.txt >&2; fail "info"; }
for line in "subsong 0" "info codec=Musepack" "info encoding=lossy" "info streamversion=8" "info samplerate=44100" \
            "info channels=2" "length 3"; do
  expect_contains info.txt "$line"
done
grep -q "^info tool=mppenc " info.txt || { cat info.txt >&2; fail "no encoder text"; }

# Seeking: from the sample asked for, within one LSB of mpcdec's decode from there.
for sample in 1 1152 44100 100000; do
  seconds=$(awk -v s="$sample" 'BEGIN { printf "%.17g", s / 44100 }')
  inspect decode "$PWD/plain.mpc" 0 "$PWD/seek.pcm" --seek "$seconds" || { cat err.txt >&2; fail "seek $sample"; }
  tail -c +$((sample * 4 + 1)) plain.ref.pcm > expected.pcm
  within_lsb seek.pcm expected.pcm || fail "seeking to sample $sample"
done

# Chapters (mpcchap from a cue sheet, the first one after a pregap): subsongs 1..3, each exactly its stretch.
cat > t.cue <<'CUE'
FILE "src.wav" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    PERFORMER "Band"
    INDEX 01 00:00:30
  TRACK 02 AUDIO
    TITLE "Two"
    PERFORMER "Band"
    INDEX 01 00:01:00
  TRACK 03 AUDIO
    TITLE "Three"
    PERFORMER "Band"
    INDEX 01 00:02:00
CUE
cp plain.mpc chap.mpc
mpcchap chap.mpc t.cue >/dev/null 2>&1 || fail "mpcchap"
inspect info "$PWD/chap.mpc" > info.txt || { cat err.txt >&2; fail "info chapters"; }
for n in 1 2 3; do expect_contains info.txt "subsong $n"; done
grep -q "^subsong 0" info.txt && fail "a file with chapters lists subsong 0"
grep -qiF "meta title=Two" info.txt || { cat info.txt >&2; fail "chapter 2's title"; }
check_chapters() {  # check_chapters FILE: chapters 1..3 are samples 17640-44100, 44100-88200, 88200-end
  local file=$1 n first last
  while read -r n first last; do
    inspect decode "$PWD/$file" "$n" "$PWD/ch$n.pcm" || { cat err.txt >&2; fail "$file: decode chapter $n"; }
    "$PY" -c 'import sys; d = open("plain.ref.pcm", "rb").read(); a = int(sys.argv[1]) * 4
b = len(d) if sys.argv[2] == "end" else int(sys.argv[2]) * 4
open("ch.ref.pcm", "wb").write(d[a:b])' "$first" "$last"
    within_lsb "ch$n.pcm" ch.ref.pcm || fail "$file: chapter $n is not samples $first .. $last"
  done <<'CH'
1 17640 44100
2 44100 88200
3 88200 end
CH
}
check_chapters chap.mpc

# Chapter tags rewritten: the starts stay where they were (mpcchap dumps them), common fields go to the
# file's APEv2 tag, the audio stays.
inspect write "$PWD/chap.mpc" "title=Second" --subsong 2 || { cat err.txt >&2; fail "write chapter 2"; }
rm -f dump.ini; mpcchap chap.mpc dump.ini >/dev/null 2>&1
grep -q '^\[17640\]' dump.ini && grep -q '^\[44100\]' dump.ini && grep -q '^\[88200\]' dump.ini || \
  { cat dump.ini >&2; fail "chapter starts moved"; }
grep -q 'Title="Second"' dump.ini || { cat dump.ini >&2; fail "the new chapter title is not in its CT packet"; }
inspect info "$PWD/chap.mpc" > info.txt || { cat err.txt >&2; fail "info after the chapter write"; }
grep -qiF "meta title=Second" info.txt || { cat info.txt >&2; fail "chapter 2's new title not read back"; }
expect_eq "$("$PY" -c 'import mutagen.musepack,sys; print(mutagen.musepack.Musepack(sys.argv[1]).tags["Artist"])' chap.mpc)" \
  "Band" "the common artist in the file's APEv2 tag"
check_chapters chap.mpc
mpcdec chap.mpc after.wav >/dev/null 2>&1 || fail "mpcdec cannot decode the rewritten file"

# File-level tags and ReplayGain: written into the APEv2 tag and the RG packet, read by mutagen and by us.
cp plain.mpc tagged.mpc
inspect write "$PWD/tagged.mpc" "title=Tagged" artist=Us "replaygain_track_gain=-6.5 dB" "replaygain_track_peak=0.9" || \
  { cat err.txt >&2; fail "write tags"; }
expect_eq "$("$PY" -c 'import mutagen.musepack,sys; t=mutagen.musepack.Musepack(sys.argv[1]); print(t.tags["Title"], "/", round(t.info.title_gain, 2))' tagged.mpc)" \
  "Tagged / -6.5" "mutagen: the APEv2 title and the stream's title gain"
inspect info "$PWD/tagged.mpc" > info.txt || { cat err.txt >&2; fail "info tagged"; }
grep -qiF "meta title=Tagged" info.txt || { cat info.txt >&2; fail "our title not read back"; }
grep -qF "track_gain=-6.5" info.txt || { cat info.txt >&2; fail "our track gain not read back"; }
inspect decode "$PWD/tagged.mpc" 0 "$PWD/tagged.pcm" || { cat err.txt >&2; fail "decode tagged"; }
within_lsb tagged.pcm plain.ref.pcm || fail "tagging changed the audio"
# Every field removed: no trailing tag stays.
inspect write "$PWD/tagged.mpc" title= artist= "replaygain_track_gain=" "replaygain_track_peak=" || \
  { cat err.txt >&2; fail "remove tags"; }
tail -c 32 tagged.mpc | grep -q APETAGEX && fail "an empty info left an APEv2 tag"

# Damaged and foreign files.
printf 'MPCKnot really a musepack stream' > bogus.mpc
if inspect info "$PWD/bogus.mpc"; then fail "a bogus file opened"; fi
expect_error "Unsupported format or corrupted file" exception_io_data
# A write that cannot be done (a version-8 stream whose RG packet is gone) leaves the file as it was.
"$PY" - plain.mpc norg.mpc <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
pos = 4
while pos < len(d):
    size = 0; n = 0
    while True:
        b = d[pos + 2 + n]; n += 1; size = size << 7 | (b & 0x7f)
        if not b & 0x80: break
    if d[pos:pos + 2] == b'RG':
        d[pos:pos + 2] = b'XG'   # an unknown packet now: decoders skip it
        break
    pos += size
open(sys.argv[2], 'wb').write(d)
PY
cp norg.mpc norg.orig
if inspect write "$PWD/norg.mpc" "replaygain_track_gain=-3 dB"; then fail "ReplayGain written without an RG packet"; fi
cmp -s norg.mpc norg.orig || fail "the failed write changed the file"

# A chapter write that fails part way (a stream cut off before its end packet) leaves the file as it was.
cp plain.mpc cutchap.mpc
mpcchap cutchap.mpc t.cue >/dev/null 2>&1 || fail "mpcchap"
head -c $(( $(stat -c %s cutchap.mpc) - 3 )) cutchap.mpc > cut.tmp && mv cut.tmp cutchap.mpc
cp cutchap.mpc cutchap.orig
if inspect write "$PWD/cutchap.mpc" "title=x" --subsong 1; then fail "chapters written into a stream without its end"; fi
cmp -s cutchap.mpc cutchap.orig || fail "the failed chapter write changed the file"
ls | grep -qi '^temp-.*\.tmp$' && fail "the failed chapter write left its temporary file"
# A stream that states no length (version 8, "SH" with 0 samples and a good checksum) is refused: the decoding
# library sizes its seek table from that count and would write past it while decoding a longer stream.
sox -V1 -D -n -r 44100 -b 16 -c 2 long.wav synth 6 sine 440 vol 0.5 || fail "sox"
mpcenc --silent --overwrite long.wav long.mpc 2>/dev/null || fail "mpcenc"
"$PY" - long.mpc nolength.mpc <<'PY' || fail "could not make nolength.mpc"
import sys, zlib
d = open(sys.argv[1], 'rb').read()
def number(b, at):
    v = 0
    while True:
        v = v << 7 | (b[at] & 0x7F); at += 1
        if not b[at - 1] & 0x80: return v, at
def field(v):
    out = [v & 0x7F]; v >>= 7
    while v: out.insert(0, 0x80 | (v & 0x7F)); v >>= 7
    return bytes(out)
assert d[:4] == b'MPCK' and d[4:6] == b'SH'
size, body = number(d, 6)
payload = d[body:4 + size]
version = payload[4:5]
samples, at = number(payload, 5)
assert samples > 0
rest = version + b'\x00' + payload[at:]
packet = zlib.crc32(rest).to_bytes(4, 'big') + rest
n = 2 + len(packet) + 1
head = b'SH' + field(n)
assert len(head) == 3
open(sys.argv[2], 'wb').write(d[:4] + head + packet + d[4 + size:])
PY
if inspect decode "$PWD/nolength.mpc" 0 "$PWD/nolength.pcm"; then fail "a stream of no stated length was decoded"; fi
true
