# MPEG audio through input probing and the system's codec: gapless files give exactly the source's samples,
# untagged ones frames x samples per frame less the decoder delay, and every kind matches ffmpeg's decode
# aligned by the trims; seeking equals decoding from the start; protected MP1/MP2 pass strict decoding.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"

# Gapless: LAME's and ffmpeg's tags give the source's exact length and ffmpeg's gapless decode.
source_wav s44 44100 2
source_wav m48 48000 1
source_wav s22 22050 2 1.7
source_wav m16 16000 1 1.9
source_wav s11 11025 2 1.9
source_wav m8 8000 1 2.1
checked=0
while read -r name src options; do
  if [ "$options" = ffmpeg ]; then
    ffmpeg -nostdin -v error -y -i "$src.wav" -c:a libmp3lame -q:a 4 "$name.mp3" || fail "ffmpeg could not encode $name"
  else
    lame --quiet $options "$src.wav" "$name.mp3" < /dev/null || fail "lame could not encode $name"
  fi
  decode "$name.mp3" "$name.pcm"
  channels=$(python3 -c 'import sys, wave; print(wave.open(sys.argv[1]).getnchannels())' "$src.wav")
  expect_eq "$(pcm_frames "$name.pcm" "$channels")" "$(wav_frames "$src.wav")" "$name: samples"
  ffmpeg_pcm "$name.mp3" "$name.ff.pcm"
  snr "$name.pcm" "$name.ff.pcm"
  checked=$((checked + 1))
done <<'CASES'
vbr       s44 -V2
abr       s44 --abr 112
cbr       s44 -b 128
mono48    m48 -V4
mpeg2     s22 -V5
mpeg2mono m16 -b 64
mpeg25    s11 -b 56
mpeg25m   m8  -V7
ffmpeg    s44 ffmpeg
CASES
expect_eq "$checked" 9 "gapless cases run"

inspect info "$PWD/vbr.mp3" > info.txt || { cat err.txt >&2; fail "info vbr"; }
for line in "info codec=MP3" "info mp3_accurate_length=yes" "info enc_delay=576" "info codec_profile=VBR V2" \
            "info tool=LAME3.100" "info mp3_stereo_mode=joint stereo" "info samplerate=44100"; do
  expect_contains info.txt "$line"
done
inspect info "$PWD/mpeg25m.mp3" > info.txt || { cat err.txt >&2; fail "info mpeg25m"; }
expect_contains info.txt "info mp3_stereo_mode=mono"
expect_contains info.txt "info samplerate=8000"

# Untagged: every frame's samples less the decoder delay (529), which ffmpeg keeps.
lame --quiet -t -b 128 s44.wav untagged.mp3
decode untagged.mp3 untagged.pcm
ffmpeg_pcm untagged.mp3 untagged.ff.pcm
expect_eq "$(pcm_frames untagged.pcm 2)" $(( $(pcm_frames untagged.ff.pcm 2) - 529 )) "untagged: samples"
snr untagged.pcm untagged.ff.pcm $((529 * 2))

# iTunes gapless comment on the untagged file: the delay (LAME's 576) and length it names; the same samples as
# the LAME-tagged file of the same frames.
frames=$(wav_frames s44.wav)
cp untagged.mp3 itunes.mp3
"$PY" - "$frames" <<'PY' || fail "mutagen could not tag itunes.mp3"
import sys
from mutagen.id3 import ID3, COMM
tag = ID3()
tag.add(COMM(encoding=0, lang="eng", desc="iTunSMPB", text=" 00000000 00000240 00000000 %016X 00000000" % int(sys.argv[1])))
tag.save("itunes.mp3")
PY
decode itunes.mp3 itunes.pcm
expect_eq "$(pcm_frames itunes.pcm 2)" "$frames" "iTunSMPB: samples"
cmp -s itunes.pcm cbr.pcm || fail "iTunSMPB: not the samples of the LAME-tagged file"

# MP2 (twolame) and MP1 (our own frames): ffmpeg's decode less the decoder delay (481 for Layer II, none for I).
twolame --quiet s44.wav l2.mp2 || fail "twolame"
twolame --quiet -m m -b 96 m48.wav l2mono.mp2 || fail "twolame mono"
twolame --quiet -b 64 s22.wav l2lsf.mp2 || fail "twolame MPEG-2"
for name in l2:2 l2mono:1 l2lsf:2; do
  file=${name%%:*}; ch=${name##*:}
  decode "$file.mp2" "$file.pcm"
  ffmpeg_pcm "$file.mp2" "$file.ff.pcm"
  expect_eq "$(pcm_frames "$file.pcm" "$ch")" $(( $(pcm_frames "$file.ff.pcm" "$ch") - 481 )) "$file: samples"
  snr "$file.pcm" "$file.ff.pcm" $((481 * ch))
done
python3 "$HERE/mp1_frames.py" l1.mp1 150 --crc
python3 "$HERE/mp1_frames.py" l1joint.mp1 120 --mode joint --rate 32000 --bitrate-index 6
python3 "$HERE/mp1_frames.py" l1mono.mp1 120 --mode mono --rate 48000 --bitrate-index 4 --crc
for file in l1 l1joint l1mono; do
  decode "$file.mp1" "$file.pcm"
  ffmpeg -nostdin -v error -y -f mp3 -i "$file.mp1" -f s16le "$file.ff.pcm" || fail "ffmpeg could not decode $file"
  snr "$file.pcm" "$file.ff.pcm"
done
inspect info "$PWD/l1mono.mp1" > info.txt || { cat err.txt >&2; fail "info l1mono"; }
expect_contains info.txt "info codec=MP1"

# Seeking: the same samples as decoding from the start, less round(T x rate).
while read -r file rate ch seconds; do
  skip=$(python3 -c "print(round($seconds * $rate) * $ch)")
  decode "$file" seek.pcm --seek "$seconds"
  snr seek.pcm "${file%.*}.pcm" "$skip"
done <<'CASES'
vbr.mp3      44100 2 0.7319
vbr.mp3      44100 2 2.0
cbr.mp3      44100 2 1.25
untagged.mp3 44100 2 0.5
mpeg25m.mp3  8000  1 1.3
l2.mp2       44100 2 1.1
l1.mp1       44100 2 0.3
CASES

# Protected frames pass strict decoding; damage in a protected part is found.
twolame --quiet -p s44.wav l2crc.mp2 || fail "twolame -p"
for file in l2crc.mp2 l1.mp1 l1mono.mp1; do
  decode "$file" strict.pcm --flags 8
done
python3 - <<'PY'
data = bytearray(open("l2crc.mp2", "rb").read())
# The third frame's bit allocation.
pos, found = 0, 0
while found < 3:
    pos += 1
    if data[pos] == 0xFF and data[pos + 1] & 0xF0 == 0xF0:
        found += 1
data[pos + 7] ^= 0x20
open("damaged.mp2", "wb").write(data)
PY
if inspect decode "$PWD/damaged.mp2" 0 "$PWD/strict.pcm" --flags 8 > /dev/null; then fail "damaged MP2 decoded strictly"; fi
expect_contains err.txt "MPEG frame checksum mismatch."
inspect decode "$PWD/damaged.mp2" 0 "$PWD/strict.pcm" --flags 8 --reports > reports.txt || fail "decode with reports"
expect_eq "$(grep -c '^event ' reports.txt)" 1 "reports of the damaged MP2"
expect_contains reports.txt "event 2 MPEG frame checksum mismatch."

# The back ends by system version give the same samples (XP's ACM path, Vista's and 7's MF path).
for file in vbr.mp3 l2.mp2 l1.mp1; do
  set +e
  VORN_MPEG_FILE="$(winpath "$PWD/$file")" wine "$VORN_BUILD_DIR/tests/test_compressed_inputs.exe" --no-colors --no-skip \
    --test-case="mpeg child: back ends by system version" > child.txt 2>&1 < /dev/null
  set -e
  grep -Eq "test cases: +1 \| +1 passed \| +0 failed" child.txt || { cat child.txt >&2; fail "back ends for $file"; }
done

# One packet larger than the ACM codec's input buffer loses nothing.
lame --quiet -b 320 s44.wav big.mp3 < /dev/null || fail "lame big"
set +e
VORN_MPEG_FILE="$(winpath "$PWD/big.mp3")" wine "$VORN_BUILD_DIR/tests/test_compressed_inputs.exe" --no-colors --no-skip \
  --test-case="mpeg child: a packet larger than the ACM buffer" > child.txt 2>&1 < /dev/null
set -e
grep -Eq "test cases: +1 \| +1 passed \| +0 failed" child.txt || { cat child.txt >&2; fail "one large packet"; }
