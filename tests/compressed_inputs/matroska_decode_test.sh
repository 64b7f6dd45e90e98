# Matroska and WebM through input probing: mkvmerge- and ffmpeg-made tracks of every codec decode like the native
# inputs and the tools (FLAC, WavPack and PCM byte for byte), over every lacing kind; seeking through the Cues equals
# decoding from the start; chapters are subsongs that join to the whole; broken files fail cleanly.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
for tool in mkvmerge mkvinfo flac wavpack wvunpack oggenc oggdec opusenc; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

source_wav s44 44100 2 6.5
python3 - <<'PY'
import wave
w = wave.open("s44.wav"); open("s44.raw", "wb").write(w.readframes(w.getnframes()))
PY
flac -s -f s44.wav -o s44.flac
flac -s -d -f --force-raw-format --endian=little --sign=signed s44.flac -o s44.flac.raw
cmp -s s44.flac.raw s44.raw || fail "flac -d is not the source"
wavpack -q -y s44.wav -o s44.wv
wvunpack -q -y --raw s44.wv -o s44.wv.raw
oggenc -Q s44.wav -o s44.ogg
oggdec -Q -R s44.ogg -o s44.oggdec.raw
opusenc --quiet s44.wav s44.opus
lame --quiet -V2 s44.wav s44.mp3
cat > chapters.txt <<'TXT'
CHAPTER01=00:00:00.000
CHAPTER01NAME=First part
CHAPTER02=00:00:02.000
CHAPTER02NAME=Second part
CHAPTER03=00:00:04.250
CHAPTER03NAME=Third part
TXT

mkvmerge -q -o flac.mka s44.flac
mkvmerge -q -o flac-nolace.mka --disable-lacing s44.flac
mkvmerge -q -o wavpack.mka s44.wv
mkvmerge -q -o pcm.mka s44.wav
mkvmerge -q -o vorbis.mka s44.ogg
mkvmerge -q -o opus.mka s44.opus
mkvmerge -q -o mp3.mka s44.mp3
mkvmerge -q -o chapters.mka --chapters chapters.txt s44.flac
ffmpeg -nostdin -v error -y -i s44.wav -c:a aac -b:a 160k aac.mka
ffmpeg -nostdin -v error -y -i s44.wav -c:a pcm_s16be pcm-be.mka
ffmpeg -nostdin -v error -y -i s44.wav -c:a pcm_u8 pcm-u8.mka
ffmpeg -nostdin -v error -y -i s44.wav -c:a pcm_u8 pcm-u8.wav
ffmpeg -nostdin -v error -y -i s44.opus -c copy opus.webm
ffmpeg -nostdin -v error -y -i s44.ogg -c copy vorbis.webm

# Every lacing kind is among the fixtures.
declare -A laced=()
for f in flac flac-nolace wavpack pcm vorbis opus mp3; do
  read -r _ none _ xiph _ fixed _ ebml < <(python3 "$HERE/matroska_lacing.py" "$f.mka")
  [ "$none" -gt 0 ] && laced[none]=1; [ "$xiph" -gt 0 ] && laced[xiph]=1
  [ "$fixed" -gt 0 ] && laced[fixed]=1; [ "$ebml" -gt 0 ] && laced[ebml]=1
done
expect_eq "${#laced[@]}" 4 "lacing kinds covered (none, Xiph, fixed, EBML)"

# Lossless and PCM: byte for byte.
for pair in flac:s44.flac.raw flac-nolace:s44.flac.raw wavpack:s44.wv.raw pcm:s44.raw pcm-be:s44.raw; do
  name=${pair%%:*}; reference=${pair##*:}
  decode "$name.mka" "$name.pcm"
  cmp -s "$name.pcm" "$reference" || fail "$name: not the reference's samples"
done
decode pcm-u8.mka pcm-u8.pcm
python3 - <<'PY' || fail "pcm-u8: not the WAV data"
import wave, sys
w = wave.open("pcm-u8.wav")
sys.exit(0 if open("pcm-u8.pcm", "rb").read() == w.readframes(w.getnframes()) else 1)
PY

# Opus: the Ogg Opus input's decode of the same packets (the pre-skip and end padding dropped the same way).
decode s44.opus opus.ogg.pcm
for f in opus.mka opus.webm; do
  decode "$f" "$f.pcm" --bits 16
  cmp -s "$f.pcm" opus.ogg.pcm || fail "$f: not the Ogg Opus input's samples"
done

# Vorbis: within one step of oggdec. WebM from ffmpeg keeps the length; mkvmerge stores no end trim, so its last
# packet may add up to one block.
for f in vorbis.webm vorbis.mka; do
  decode "$f" "$f.pcm" --bits 16
  python3 - "$f.pcm" s44.oggdec.raw "$f" <<'PY' || fail "$f against oggdec"
import struct, sys
a = open(sys.argv[1], "rb").read(); b = open(sys.argv[2], "rb").read()
a = struct.unpack("<%dh" % (len(a) // 2), a); b = struct.unpack("<%dh" % (len(b) // 2), b)
exact = sys.argv[3].endswith(".webm")
if len(a) < len(b) or (exact and len(a) != len(b)) or len(a) - len(b) > 2 * 2048:
    sys.exit("length %d against %d" % (len(a), len(b)))
worst = max(abs(x - y) for x, y in zip(a, b))
sys.exit(0 if worst <= 1 else "largest difference %d" % worst)
PY
done

# AAC and MP3: like ffmpeg's decode of the same file.
for f in aac.mka mp3.mka; do
  decode "$f" "$f.pcm" --bits 16
  ffmpeg_pcm "$f" "$f.ff.pcm"
  snr "$f.pcm" "$f.ff.pcm"
done

# Seeking through the Cues: the tail of the whole decode from round(T x rate).
mkvinfo -v flac.mka > mkvinfo.txt
expect_contains mkvinfo.txt "Cues"
for f in flac wavpack pcm; do
  for t in 1.25 3.3 5.9; do
    decode "$f.mka" "$f.seek.pcm" --seek "$t"
    python3 - "$f.pcm" "$f.seek.pcm" "$t" <<'PY' || fail "$f --seek $t"
import sys
whole = open(sys.argv[1], "rb").read(); part = open(sys.argv[2], "rb").read()
skip = int(float(sys.argv[3]) * 44100 + 0.5) * 4
sys.exit(0 if whole[skip:] == part else "%d bytes against %d" % (len(part), len(whole) - skip))
PY
  done
done

# Chapters: subsongs 1..3 with their titles, joining to the whole stream.
inspect info "$PWD/chapters.mka" > info.txt || { cat err.txt >&2; fail "info chapters"; }
for line in "subsong 1" "subsong 3" "meta title=First part" "meta title=Third part" "length 2.25"; do
  expect_contains info.txt "$line"
done
grep -q "^subsong 0" info.txt && fail "a chaptered file lists subsong 0"
: > joined.pcm
for i in 1 2 3; do
  inspect decode "$PWD/chapters.mka" "$i" "$PWD/chapter$i.pcm" > /dev/null || { cat err.txt >&2; fail "decode chapter $i"; }
  cat "chapter$i.pcm" >> joined.pcm
done
cmp -s joined.pcm s44.raw || fail "the chapters do not join to the whole"

# A damaged FLAC frame inside a block: reported to the decoder's sink and skipped, the rest decodes.
python3 - flac-nolace.mka damaged.mka <<'PY' || fail "could not damage a frame"
import sys
data = bytearray(open(sys.argv[1], "rb").read())
blocks = []
pos = 0
while True:
    pos = data.find(b"\xa3", pos + 1)
    if pos < 0:
        break
    if data[pos + 1] & 0x80 == 0 and data[pos + 1] & 0x40:   # a 2-byte size: a SimpleBlock of a FLAC frame
        size = (data[pos + 1] & 0x3F) << 8 | data[pos + 2]
        if 1000 < size < 20000 and data[pos + 3] == 0x81 and data[pos + 7:pos + 9] == b"\xff\xf8":
            blocks.append((pos + 3, size))
start, size = blocks[len(blocks) // 2]
for i in range(start + 100, start + 140):
    data[i] ^= 0x5A
open(sys.argv[2], "wb").write(data)
PY
inspect decode "$PWD/damaged.mka" 0 "$PWD/damaged.pcm" --reports > reports.txt || { cat err.txt >&2; fail "decode --reports"; }
expect_contains reports.txt "event 2 Corrupted FLAC stream"
[ "$(stat -c %s damaged.pcm)" -lt "$(stat -c %s flac.pcm)" ] || fail "the damaged frame was not skipped"

# Broken and unsupported files: an error with the reason, no crash, no hang.
ffmpeg -nostdin -v error -y -i s44.wav -c:a flac -f matroska - < /dev/null > live.mka
head -c 20000 flac.mka > cut.mka
cp flac.mka trailing.mka; printf '\0' >> trailing.mka
mkvmerge -q -o zlib.mka --compression 0:zlib s44.flac
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=duration=1:size=64x48:rate=5 -c:v ffv1 video.mkv
head -c 30000 /dev/urandom > random.mka
while read -r file expected; do
  rc=0
  inspect decode "$PWD/$file" 0 "$PWD/broken.pcm" > /dev/null || rc=$?
  [ "$rc" -ne 0 ] || fail "$file decoded"
  [ "$rc" -lt 128 ] || fail "$file: exit status $rc"
  [ -z "$expected" ] || expect_contains err.txt "$expected"
done <<'CASES'
live.mka Unsupported format or corrupted file
cut.mka Unsupported format or corrupted file
trailing.mka Unsupported format or corrupted file
zlib.mka Unsupported format or corrupted file
video.mkv File contains no audio tracks
random.mka
CASES
# The video-only file still gives its info (no sample rate).
inspect info "$PWD/video.mkv" > info.txt || { cat err.txt >&2; fail "info of a video-only file"; }
grep -q "samplerate" info.txt && fail "a video-only file reports a sample rate"
true
