# ALAC frames pulled out of ffmpeg-made .m4a files (no MP4 input exists yet) decode to exactly the bytes of
# ffmpeg's own decode, in WAVE channel order: mono, stereo, 24-bit, 3 and 6 channels.
command -v ffmpeg >/dev/null || fail "ffmpeg is not installed"
PY=/usr/bin/python3
mkdir alac
while read -r name channels bits fmt; do
  sox -V1 -D -n -r 44100 -b "$bits" -c "$channels" "$name.wav" synth 1.3 sine 300-2000 whitenoise vol 0.5 || fail "sox $name"
  sample_fmt=s16p; [ "$bits" = 24 ] && sample_fmt=s32p
  ffmpeg -nostdin -v error -y -i "$name.wav" -c:a alac -sample_fmt "$sample_fmt" "$name.m4a" || fail "ffmpeg alac $name"
  ffmpeg -nostdin -v error -y -i "$name.m4a" -f "$fmt" -c:a "pcm_$fmt" "alac/$name.ref" || fail "ffmpeg decode $name"
  "$PY" "$VORN_SOURCE_DIR/tests/inputs/alac_frames.py" "$name.m4a" "alac/$name.frames" || fail "frames of $name"
done <<'CASES'
mono16    1 16 s16le
stereo16  2 16 s16le
stereo24  2 24 s24le
three16   3 16 s16le
six16     6 16 s16le
CASES

set +e
VORN_ALAC_DIR=$(winpath "$PWD/alac") wine "$VORN_BUILD_DIR/tests/test_inputs.exe" --no-colors \
    --test-case="ALAC frames from ffmpeg-made files" > out.txt 2>&1
rc=$?
set -e
[ $rc -eq 0 ] || { cat out.txt >&2; fail "decoding the frames failed (exit $rc)"; }
grep -Eq "test cases: +1 \| +1 passed" out.txt || { cat out.txt >&2; fail "the frame case did not run"; }
for ref in alac/*.ref; do
  out=${ref%.ref}.out
  cmp -s "$out" "$ref" || fail "$(basename "${ref%.ref}"): decoded bytes differ from ffmpeg ($(stat -c %s "$out") vs $(stat -c %s "$ref"))"
done
# The 6-channel source went in in WAVE order and comes out the same.
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"
data_chunk six16.wav six16.src.pcm
cmp -s alac/six16.out six16.src.pcm || fail "6 channels are not in the source's WAVE order"
