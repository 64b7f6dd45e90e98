# Damaged MPEG files through the system's codec: junk and ID3v1 blocks between frames are reported and skipped
# with the exact sample count kept, a cut last frame ends the stream normally, and files that are no MPEG audio
# are refused without a hang.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
source_wav s 44100 2 1.5
lame --quiet -b 128 s.wav clean.mp3 < /dev/null || fail "lame"
decode clean.mp3 clean.pcm
frames=$(wav_frames s.wav)
expect_eq "$(pcm_frames clean.pcm 2)" "$frames" "clean file"

# insert FILE OUT OFFSET_FRAME BYTES_HEX COUNT: COUNT bytes inserted in front of the frame with that index.
insert() {
  "$PY" - "$@" <<'PY'
import sys
src, out, index, byte, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4], 16), int(sys.argv[5])
d = open(src, "rb").read()
# Frame starts: walk the headers (MPEG-1 Layer III, 44100 Hz).
rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
pos, n = 0, 0
while n < index:
    h = d[pos:pos + 4]
    pos += 144000 * rates[h[2] >> 4] // 44100 + ((h[2] >> 1) & 1)
    n += 1
if byte == 0x54:
    block = b"TAG" + b"x" * 125
else:
    block = bytes([byte]) * count
open(out, "wb").write(d[:pos] + block + d[pos:])
print(pos)
PY
}

at=$(insert clean.mp3 junk.mp3 30 55 777)
inspect decode "$PWD/junk.mp3" 0 "$PWD/junk.pcm" --reports > reports.txt || { cat err.txt >&2; fail "decode junk.mp3"; }
expect_eq "$(pcm_frames junk.pcm 2)" "$frames" "junk: samples"
expect_eq "$(grep -c '^event' reports.txt)" 2 "junk: reports"
expect_contains reports.txt "event 2 MPEG stream error at $at bytes"
expect_contains reports.txt "event 0 MPEG stream resync successful at $((at + 777))"
# Strict decoding without a sink ends on the junk.
if inspect decode "$PWD/junk.mp3" 0 "$PWD/junk.pcm" --flags 8 > /dev/null; then fail "junk decoded strictly"; fi
expect_contains err.txt "MPEG stream error at $at bytes"

at=$(insert clean.mp3 tag.mp3 20 54 128)
inspect decode "$PWD/tag.mp3" 0 "$PWD/tag.pcm" --reports > reports.txt || { cat err.txt >&2; fail "decode tag.mp3"; }
expect_eq "$(pcm_frames tag.pcm 2)" "$frames" "ID3v1 block: samples"
expect_eq "$(grep -c '^event' reports.txt)" 1 "ID3v1 block: reports"
expect_contains reports.txt "event 2 ID3 tag garbage inside MPEG stream at $at bytes"

# A cut last frame: the frames before it, no error.
size=$(stat -c %s clean.mp3)
head -c $((size - 200)) clean.mp3 > cut.mp3
lame --quiet -t -b 128 s.wav untagged.mp3 < /dev/null
size=$(stat -c %s untagged.mp3)
head -c $((size - 200)) untagged.mp3 > cut_untagged.mp3
for file in cut.mp3 cut_untagged.mp3; do
  inspect decode "$PWD/$file" 0 "$PWD/cut.pcm" --reports > reports.txt || { cat err.txt >&2; fail "decode $file"; }
  expect_eq "$(grep -c '^event' reports.txt)" 0 "$file: reports"
done

# Not MPEG audio: refused with an error, never a hang.
head -c 300000 /dev/zero > zero.mp3
"$PY" -c 'import random; r = random.Random(5); open("random.mp3", "wb").write(bytes(r.getrandbits(8) for _ in range(300000)))'
: > empty.mp3
for file in zero.mp3 empty.mp3; do
  if timeout 60 wine "$VORN_INSPECT" info "$PWD/$file" > /dev/null 2> err.txt; then fail "$file was taken as MPEG audio"; fi
done
rc=0
timeout 120 wine "$VORN_INSPECT" decode "$PWD/random.mp3" 0 "$PWD/random.pcm" > /dev/null 2> err.txt < /dev/null || rc=$?
[ "$rc" -eq 0 ] || [ "$rc" -eq 1 ] || fail "random bytes: exit status $rc"
