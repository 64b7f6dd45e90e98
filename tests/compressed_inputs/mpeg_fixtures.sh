# Helpers of the MPEG audio script tests (sourced by them).
for tool in lame twolame ffmpeg sox python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
HERE="$VORN_SOURCE_DIR/tests/compressed_inputs"
PY=/usr/bin/python3   # Debian's interpreter, the one python3-mutagen belongs to

# inspect ARGS: runs vorn-inspect; standard output to stdout (without carriage returns), standard error to err.txt.
inspect() {
  local rc=0
  quiet_retry err.txt wine "$VORN_INSPECT" "$@" > inspect.out < /dev/null || rc=$?
  tr -d '\r' < inspect.out
  return $rc
}

# source NAME RATE CHANNELS [SECONDS]: NAME.wav, a sweep with noise made by sox.
source_wav() {
  local name=$1 rate=$2 channels=$3 seconds=${4:-2.3}
  sox -V1 -D -n -r "$rate" -b 16 -c "$channels" "$name.wav" synth "$seconds" sine 300-3000 whitenoise vol 0.4 \
    || fail "sox could not make $name.wav"
}

# wav_frames WAV: the sample frames of a 16-bit WAV file.
wav_frames() { python3 -c 'import sys, wave; print(wave.open(sys.argv[1]).getnframes())' "$1"; }

# pcm_frames FILE CHANNELS: sample frames of raw 16-bit PCM.
pcm_frames() { echo $(( $(stat -c %s "$1") / (2 * $2) )); }

# decode FILE OUT [OPTIONS]: vorn-inspect decode of subsong 0 into OUT (16-bit), failing the test on error.
decode() {
  local file=$1 out=$2; shift 2
  inspect decode "$PWD/$file" 0 "$PWD/$out" "$@" > decode.out || { cat err.txt >&2; fail "decode $file $*"; }
}

# ffmpeg_pcm FILE OUT: ffmpeg's own decode as raw 16-bit PCM.
ffmpeg_pcm() { ffmpeg -nostdin -v error -y -i "$1" -f s16le -acodec pcm_s16le "$2" || fail "ffmpeg could not decode $1"; }

# snr DECODED REFERENCE [SKIP_REFERENCE [SKIP_DECODED]]: both hold the same values and the ratio is at least 55 dB.
snr() {
  python3 "$HERE/snr.py" "$1" "$2" 55 "${3:-0}" "${4:-0}" > snr.out || { cat snr.out >&2; fail "$1 against $2: $(cat snr.out)"; }
}
