# FLAC decoding through input probing: `vorn-inspect decode` gives exactly the bytes of the data chunk of
# the WAV that `flac -d` writes, over bit depths, channel counts (7 and 8 channels without a channel-mask
# comment too) and sample rates; seeking lands on the sample asked for.
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

checked=0
# name rate bits channels
while read -r name rate bits channels; do
  make_flac "$name" "$rate" "$bits" "$channels"
  flac -s -d -f "$name.flac" -o "$name.ref.wav" || fail "flac -d $name"
  data_chunk "$name.ref.wav" "$name.ref.pcm"
  inspect decode "$PWD/$name.flac" 0 "$PWD/$name.pcm" || { cat err.txt >&2; fail "decode $name"; }
  cmp -s "$name.pcm" "$name.ref.pcm" || fail "$name: decoded bytes differ from flac -d ($(stat -c %s "$name.pcm") vs $(stat -c %s "$name.ref.pcm") bytes)"
  checked=$((checked + 1))
done <<'CASES'
u8_mono_8k       8000   8  1
u8_stereo_22k    22050  8  2
u8_six_48k       48000  8  6
s16_mono_11k     11025  16 1
s16_stereo_44k   44100  16 2
s16_six_96k      96000  16 6
s24_mono_192k    192000 24 1
s24_stereo_48k   48000  24 2
s24_six_192k     192000 24 6
s16_seven_44k    44100  16 7
s24_eight_48k    48000  24 8
CASES
expect_eq "$checked" 11 "decode cases run"

# The track's own depth is the default; --bits asks for another (16-bit samples as 24-bit integers are
# the same values shifted by 8 bits), --float gives 4 bytes per sample.
inspect decode "$PWD/s16_stereo_44k.flac" 0 "$PWD/as24.pcm" --bits 24 || { cat err.txt >&2; fail "decode --bits 24"; }
expect_eq "$(stat -c %s as24.pcm)" $(( $(stat -c %s s16_stereo_44k.ref.pcm) / 2 * 3 )) "size of the 24-bit output"
cmp -s <(od -An -v -tx1 -w3 as24.pcm | cut -c4-) <(od -An -v -tx1 -w2 s16_stereo_44k.ref.pcm) || \
  fail "--bits 24 does not hold the 16-bit samples in its top bytes"
inspect decode "$PWD/s16_stereo_44k.flac" 0 "$PWD/float.pcm" --float || { cat err.txt >&2; fail "decode --float"; }
expect_eq "$(stat -c %s float.pcm)" $(( $(stat -c %s s16_stereo_44k.ref.pcm) * 2 )) "size of the float output"

# Seeking to a sample gives the samples from there on, as decoding from the start does: at the start, in
# the first frame, across frame boundaries (4096-sample blocks) and near the end.
while read -r name frame_bytes rate samples; do
  for sample in 0 1 4095 4096 12345 $((samples / 2 + 7)) $((samples - 1)); do
    seconds=$(awk -v s="$sample" -v r="$rate" 'BEGIN { printf "%.17g", s / r }')
    inspect decode "$PWD/$name.flac" 0 "$PWD/seek.pcm" --seek "$seconds" || { cat err.txt >&2; fail "seek $name $sample"; }
    tail -c +$((sample * frame_bytes + 1)) "$name.ref.pcm" > expected.pcm
    cmp -s seek.pcm expected.pcm || fail "$name: seeking to sample $sample gives other samples"
  done
done <<'CASES'
s16_stereo_44k 4  44100  44100
s24_six_192k   18 192000 192000
u8_mono_8k     1  8000   8000
CASES

# Seeking to the very end gives nothing.
inspect decode "$PWD/s16_stereo_44k.flac" 0 "$PWD/end.pcm" --seek 1 || { cat err.txt >&2; fail "seek to the end"; }
expect_eq "$(stat -c %s end.pcm)" 0 "bytes after seeking to the end"
