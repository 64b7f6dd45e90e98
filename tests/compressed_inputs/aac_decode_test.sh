# AAC through the system's decoder transform: the raw frames of an ADTS stream, fed as the MP4 input feeds them,
# decode to ffmpeg's own decode (compared by signal-to-noise ratio, as decoders may round differently).
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
TEST_EXE="$VORN_BUILD_DIR/tests/test_compressed_inputs.exe"
for fixture in "stereo 44100 2 128k" "mono 22050 1 48k"; do
  set -- $fixture
  name=$1 rate=$2 ch=$3 bitrate=$4
  source_wav "$name" "$rate" "$ch" 1.6
  ffmpeg -nostdin -v error -y -i "$name.wav" -c:a aac -b:a "$bitrate" -f adts "$name.aac" || fail "ffmpeg AAC"
  ffmpeg -nostdin -v error -y -i "$name.aac" -f s16le -acodec pcm_s16le "$name.ff.pcm" || fail "ffmpeg decode"
  set +e
  VORN_AAC_ADTS="$(winpath "$PWD/$name.aac")" VORN_AAC_OUT="$(winpath "$PWD/$name.f32")" \
    wine "$TEST_EXE" --no-colors --no-skip --test-case="aac child: ADTS frames" > child.txt 2>&1 < /dev/null
  set -e
  grep -Eq "test cases: +1 \| +1 passed \| +0 failed" child.txt || { cat child.txt >&2; fail "AAC child for $name"; }
  "$PY" -c '
import struct, sys
d = open(sys.argv[1], "rb").read(); n = len(d) // 4
v = struct.unpack("<%df" % n, d)
open(sys.argv[2], "wb").write(struct.pack("<%dh" % n, *[max(-32768, min(32767, int(round(x * 32768)))) for x in v]))' \
    "$name.f32" "$name.pcm"
  snr "$name.pcm" "$name.ff.pcm"
done
