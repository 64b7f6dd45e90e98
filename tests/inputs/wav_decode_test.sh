# WAVE family through input probing: files made by sox and ffmpeg decode to exactly the bytes of their data
# chunks (integer PCM, float, extensible, RF64, Wave64), compressed formats through the system's ACM come
# out close to sox's own decoding, and seeking lands on the sample asked for.
command -v sox >/dev/null || fail "sox is not installed"
command -v ffmpeg >/dev/null || fail "ffmpeg is not installed"
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

tone() {  # tone NAME RATE BITS CHANNELS [sox encoding options]
  local name=$1 rate=$2 bits=$3 channels=$4; shift 4
  sox -V1 -D -n -r "$rate" -b "$bits" -c "$channels" "$@" "$name.wav" synth 0.7 sine 300-2000 whitenoise vol 0.5 \
    || fail "sox could not make $name.wav"
}

checked=0
# name rate bits channels [--float]: decoded bytes equal the data chunk.
while read -r name rate bits channels mode; do
  if [ "$mode" = float ]; then
    tone "$name" "$rate" "$bits" "$channels" -e floating-point
    inspect decode "$PWD/$name.wav" 0 "$PWD/$name.pcm" --float || { cat err.txt >&2; fail "decode $name"; }
  else
    tone "$name" "$rate" "$bits" "$channels"
    inspect decode "$PWD/$name.wav" 0 "$PWD/$name.pcm" || { cat err.txt >&2; fail "decode $name"; }
  fi
  data_chunk "$name.wav" "$name.ref.pcm"
  cmp -s "$name.pcm" "$name.ref.pcm" || fail "$name: decoded bytes differ from the data chunk"
  checked=$((checked + 1))
done <<'CASES'
u8_mono      8000   8  1
s16_stereo   44100  16 2
s24_six      48000  24 6
f32_stereo   44100  32 2 float
s16_eight    44100  16 8
CASES
expect_eq "$checked" 5 "PCM cases run"

# 32-bit integers become the nearest float of v / 2^31.
tone s32_stereo 96000 32 2
data_chunk s32_stereo.wav s32.ref.pcm
python3 -c '
import struct, sys
d = open(sys.argv[1], "rb").read(); n = len(d) // 4
v = struct.unpack("<%di" % n, d)
open(sys.argv[2], "wb").write(struct.pack("<%df" % n, *[x / 2147483648.0 for x in v]))' s32.ref.pcm s32.ref.f32
inspect decode "$PWD/s32_stereo.wav" 0 "$PWD/s32.f32" --float || { cat err.txt >&2; fail "decode s32"; }
cmp -s s32.f32 s32.ref.f32 || fail "32-bit integers: decoded floats differ"

# sox writes more than two channels and more than 16 bits as WAVE_FORMAT_EXTENSIBLE.
inspect info "$PWD/s24_six.wav" > info.txt || { cat err.txt >&2; fail "info s24_six"; }
expect_contains info.txt "info codec=PCM"
expect_contains info.txt "info channels=6"
expect_contains info.txt "info encoding=lossless"

# 64-bit floats are narrowed to the nearest 32-bit float.
tone f64 44100 64 2 -e floating-point
data_chunk f64.wav f64.data
python3 -c '
import struct, sys
d = open(sys.argv[1], "rb").read(); n = len(d) // 8
open(sys.argv[2], "wb").write(struct.pack("<%df" % n, *struct.unpack("<%dd" % n, d)))' f64.data f64.ref.pcm
inspect decode "$PWD/f64.wav" 0 "$PWD/f64.pcm" --float || { cat err.txt >&2; fail "decode f64"; }
cmp -s f64.pcm f64.ref.pcm || fail "64-bit float: decoded floats differ from the narrowed data"

# RF64 (ffmpeg) and Wave64 (sox) carry the same samples as the plain file.
ffmpeg -v error -y -i s16_stereo.wav -rf64 always -c:a pcm_s16le rf64.wav || fail "ffmpeg could not make RF64"
expect_eq "$(head -c 4 rf64.wav)" RF64 "RF64 head"
sox -V1 s24_six.wav six.w64 || fail "sox could not make Wave64"
while read -r file ref; do
  inspect decode "$PWD/$file" 0 "$PWD/out.pcm" || { cat err.txt >&2; fail "decode $file"; }
  cmp -s out.pcm "$ref" || fail "$file: decoded bytes differ from $ref"
done <<'CASES'
rf64.wav s16_stereo.ref.pcm
six.w64  s24_six.ref.pcm
CASES

# Seeking: the bytes from the sample on.
for sample in 0 1 1023 1024 17000 30869; do
  seconds=$(awk -v s="$sample" 'BEGIN { printf "%.17g", s / 44100 }')
  inspect decode "$PWD/s16_stereo.wav" 0 "$PWD/seek.pcm" --seek "$seconds" || { cat err.txt >&2; fail "seek $sample"; }
  tail -c +$((sample * 4 + 1)) s16_stereo.ref.pcm > expected.pcm
  cmp -s seek.pcm expected.pcm || fail "seeking to sample $sample gives other samples"
done

# Compressed formats through the ACM: as long as sox's decode and close to it.
compare_close() {  # compare_close OURS REF MAX_DIFF MAX_LENGTH_DIFF
  python3 - "$@" <<'PY' || return 1
import struct, sys
a = open(sys.argv[1], 'rb').read(); b = open(sys.argv[2], 'rb').read()
max_diff = int(sys.argv[3]); max_len = int(sys.argv[4])
if abs(len(a) - len(b)) > max_len * 2:
    sys.exit("length %d vs %d bytes" % (len(a), len(b)))
n = min(len(a), len(b)) // 2
x = struct.unpack('<%dh' % n, a[:n * 2]); y = struct.unpack('<%dh' % n, b[:n * 2])
worst = max(abs(p - q) for p, q in zip(x, y)) if n else 0
if worst > max_diff:
    sys.exit("largest difference %d" % worst)
PY
}
tone src16 22050 16 2
while read -r name encoding max_diff max_len; do
  # -D: no dither, so the file (and its decoding) is the same on every run.
  sox -V1 -D src16.wav -e "$encoding" "$name.wav" || fail "sox could not make $name.wav"
  sox -V1 "$name.wav" -e signed-integer -b 16 "$name.ref.wav"
  data_chunk "$name.ref.wav" "$name.ref.pcm"
  inspect decode "$PWD/$name.wav" 0 "$PWD/$name.pcm" || { cat err.txt >&2; fail "decode $name"; }
  inspect info "$PWD/$name.wav" > info.txt || { cat err.txt >&2; fail "info $name"; }
  expect_contains info.txt "info encoding=lossy"
  expect_contains info.txt "info decoded_bitspersample=16"
  compare_close "$name.pcm" "$name.ref.pcm" "$max_diff" "$max_len" || fail "$name: not close to sox's decoding"
done <<'CASES'
ima    ima-adpcm 64 2048
msadpcm ms-adpcm 64 2048
ulaw   u-law     0  0
alaw   a-law     0  0
CASES

# Broken files fail with a clear error and no crash.
printf 'RIFF\0\0\0\0WAVEjunk' > broken.wav
if inspect decode "$PWD/broken.wav" 0 "$PWD/out.pcm"; then fail "a file without fmt and data decoded"; fi
expect_error "Unsupported format or corrupted file" exception_io_data
