# WavPack through input probing: lossless and hybrid files made by `wavpack` decode to exactly the bytes
# `wvunpack` gives (a hybrid file with its .wvc beside it to the original samples); technical info names the
# profile; tags written by the program are read by wvtag and ffprobe and theirs by the program; a damaged
# block fails with "File is corrupted"; seeking lands on the sample asked for.
command -v wavpack >/dev/null || fail "wavpack is not installed"
command -v wvunpack >/dev/null || fail "wvunpack is not installed"
command -v ffprobe >/dev/null || fail "ffprobe is not installed"
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"
PY=/usr/bin/python3

tone() {  # tone NAME RATE BITS CHANNELS [sox options]
  local name=$1 rate=$2 bits=$3 channels=$4; shift 4
  sox -V1 -D -n -r "$rate" -b "$bits" -c "$channels" "$@" "$name.wav" synth 0.8 sine 300-2000 whitenoise vol 0.5 \
    || fail "sox could not make $name.wav"
}

checked=0
while read -r name rate bits channels options; do
  if [ "$options" = float ]; then tone "$name" "$rate" "$bits" "$channels" -e floating-point; options=""
  else tone "$name" "$rate" "$bits" "$channels"; fi
  [ "$options" = - ] && options=""
  wavpack -q -y $options "$name.wav" -o "$name.wv" || fail "wavpack $name"
  wvunpack -q -y "$name.wv" -o "$name.ref.wav" || fail "wvunpack $name"
  data_chunk "$name.ref.wav" "$name.ref.pcm"
  if [ "$bits" = 32 ]; then
    inspect decode "$PWD/$name.wv" 0 "$PWD/$name.pcm" --float || { cat err.txt >&2; fail "decode $name"; }
  else
    inspect decode "$PWD/$name.wv" 0 "$PWD/$name.pcm" || { cat err.txt >&2; fail "decode $name"; }
  fi
  cmp -s "$name.pcm" "$name.ref.pcm" || fail "$name: decoded bytes differ from wvunpack"
  checked=$((checked + 1))
done <<'CASES'
s16_stereo  44100 16 2 -
u8_mono     8000  8  1 -h
s24_six     48000 24 6 -f
f32_stereo  44100 32 2 float
s16_hx      44100 16 2 -hh
CASES
expect_eq "$checked" 5 "lossless cases run"

inspect info "$PWD/s16_stereo.wv" > info.txt || { cat err.txt >&2; fail "info"; }
for line in "info codec=WavPack" "info encoding=lossless" "info codec_profile=normal" "info samplerate=44100" \
            "info channels=2" "info bitspersample=16"; do
  expect_contains info.txt "$line"
done
inspect info "$PWD/u8_mono.wv" > info.txt && expect_contains info.txt "info codec_profile=high"
inspect info "$PWD/s24_six.wv" > info.txt && expect_contains info.txt "info codec_profile=fast"
wavpack -q -y -m s16_stereo.wav -o md5.wv || fail "wavpack -m"
inspect info "$PWD/md5.wv" > info.txt || { cat err.txt >&2; fail "info md5"; }
md5=$(wvunpack -q -s md5.wv 2>&1 | awk '/MD5/ {print toupper($NF)}')
[ -n "$md5" ] || md5=$(wvunpack -ss md5.wv 2>&1 | awk '/MD5/ {print toupper($NF)}')
expect_contains info.txt "info md5=$md5"

# Hybrid with a correction file: with it, the original samples; without it, what wvunpack gives from the
# lossy file alone.
tone hyb 44100 16 2
data_chunk hyb.wav hyb.src.pcm
wavpack -q -y -b256 -c hyb.wav -o hyb.wv || fail "wavpack hybrid"
[ -f hyb.wvc ] || fail "no correction file was made"
inspect decode "$PWD/hyb.wv" 0 "$PWD/hyb.pcm" || { cat err.txt >&2; fail "decode hybrid"; }
cmp -s hyb.pcm hyb.src.pcm || fail "hybrid with its correction file is not the original"
inspect info "$PWD/hyb.wv" > info.txt || { cat err.txt >&2; fail "info hybrid"; }
expect_contains info.txt "info codec_profile=normal, hybrid"
expect_contains info.txt "info encoding=hybrid"
mkdir away && mv hyb.wvc away/
wvunpack -q -y hyb.wv -o hyb.lossy.wav || fail "wvunpack lossy"
data_chunk hyb.lossy.wav hyb.lossy.pcm
cmp -s hyb.lossy.pcm hyb.src.pcm && fail "the lossy stream alone equals the original (test is void)"
inspect decode "$PWD/hyb.wv" 0 "$PWD/hyb.pcm" || { cat err.txt >&2; fail "decode hybrid alone"; }
cmp -s hyb.pcm hyb.lossy.pcm || fail "hybrid without its correction file differs from wvunpack"

# Seeking.
for sample in 0 1 4095 4096 20000 35279; do
  seconds=$(awk -v s="$sample" 'BEGIN { printf "%.17g", s / 44100 }')
  inspect decode "$PWD/s16_stereo.wv" 0 "$PWD/seek.pcm" --seek "$seconds" || { cat err.txt >&2; fail "seek $sample"; }
  tail -c +$((sample * 4 + 1)) s16_stereo.ref.pcm > expected.pcm
  cmp -s seek.pcm expected.pcm || fail "seeking to sample $sample gives other samples"
done

# Tags: ours read by wvtag and ffprobe, with the audio unchanged; wavpack's read by us.
cp s16_stereo.wv tagged.wv
inspect write "$PWD/tagged.wv" "title=Written here" artist=Us || { cat err.txt >&2; fail "write tags"; }
wvtag -l tagged.wv > wvtag.txt 2>&1 || true
expect_contains wvtag.txt "Written here"
expect_eq "$(ffprobe -v error -show_entries format_tags=artist -of default=nw=1:nk=1 tagged.wv)" "Us" "ffprobe artist"
wvunpack -q -y tagged.wv -o tagged.ref.wav || fail "wvunpack after tagging"
data_chunk tagged.ref.wav tagged.pcm
cmp -s tagged.pcm s16_stereo.ref.pcm || fail "tagging changed the audio"
wavpack -q -y -w "Artist=Theirs" -w "Title=From wavpack" s16_stereo.wav -o theirs.wv || fail "wavpack -w"
inspect info "$PWD/theirs.wv" > info.txt || { cat err.txt >&2; fail "info theirs"; }
grep -qiF "meta artist=Theirs" info.txt || { cat info.txt >&2; fail "wavpack's artist not read"; }
grep -qiF "meta title=From wavpack" info.txt || { cat info.txt >&2; fail "wavpack's title not read"; }

# Damaged files: a block with flipped bytes and one cut short fail clearly; not a WavPack file fails to open.
cp s16_stereo.wv damaged.wv
size=$(stat -c %s damaged.wv)
printf '\xff\x00\xff\x00\xff\x00\xff\x00' | dd of=damaged.wv bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
inspect decode "$PWD/damaged.wv" 0 "$PWD/out.pcm" || { cat err.txt >&2; fail "a damaged block stopped decoding without flag 8"; }
if inspect decode "$PWD/damaged.wv" 0 "$PWD/out.pcm" --flags 8; then fail "flag 8: a CRC error did not stop decoding"; fi
expect_error "File is corrupted (CRC mismatch)" "File is corrupted (CRC mismatch)"
# The last block damaged so that it gives no samples at all: "File is corrupted", not a quiet early end.
cp s16_stereo.wv lastbad.wv
"$PY" - lastbad.wv <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
starts = [i for i in range(len(data) - 4) if data[i:i+4] == b'wvpk']
last = starts[-1]
size = struct.unpack_from('<I', data, last + 4)[0] + 8
for i in range(last + 32, last + size):   # every sub-block after the header
    data[i] ^= 0x5A
open(sys.argv[1], 'wb').write(data)
PY
if inspect decode "$PWD/lastbad.wv" 0 "$PWD/out.pcm"; then fail "a broken last block ended decoding early without an error"; fi
expect_error "File is corrupted" "File is corrupted"
# Cut off in the middle of the stream: the same.
head -c $(( $(stat -c %s s16_stereo.wv) * 2 / 3 )) s16_stereo.wv > cut.wv
if inspect decode "$PWD/cut.wv" 0 "$PWD/out.pcm"; then fail "a cut-off file ended decoding without an error"; fi
expect_error "File is corrupted" "File is corrupted"
printf 'not wavpack at all' > bogus.wv
if inspect info "$PWD/bogus.wv"; then fail "a file that is not WavPack opened"; fi
expect_error "Unsupported format or corrupted file" exception_io_data
cp bogus.wv bogus.orig
if inspect write "$PWD/bogus.wv" title=x; then fail "tags written to a file that is not WavPack"; fi
cmp -s bogus.wv bogus.orig || fail "a failed write changed the file"

# An embedded cue sheet: one subsong per track, each exactly its stretch of the whole decode.
cat > t.cue <<'CUE'
FILE "s16_stereo.wav" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two"
    INDEX 01 00:00:30
CUE
wavpack -q -y -w "Cuesheet=@t.cue" s16_stereo.wav -o cue.wv || fail "wavpack with a cue sheet"
inspect info "$PWD/cue.wv" > info.txt || { cat err.txt >&2; fail "info cue"; }
expect_contains info.txt "subsong 1"
expect_contains info.txt "subsong 2"
grep -q "^subsong 0" info.txt && fail "a file with cue tracks still lists subsong 0"
grep -qiF "meta title=Two" info.txt || { cat info.txt >&2; fail "track 2's title"; }
inspect decode "$PWD/cue.wv" 1 "$PWD/t1.pcm" || { cat err.txt >&2; fail "decode track 1"; }
inspect decode "$PWD/cue.wv" 2 "$PWD/t2.pcm" || { cat err.txt >&2; fail "decode track 2"; }
head -c $((17640 * 4)) s16_stereo.ref.pcm > t1.ref.pcm
tail -c +$((17640 * 4 + 1)) s16_stereo.ref.pcm > t2.ref.pcm
cmp -s t1.pcm t1.ref.pcm || fail "track 1 is not samples 0 .. 17639"
cmp -s t2.pcm t2.ref.pcm || fail "track 2 is not samples 17640 .. end"
