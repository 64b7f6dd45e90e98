# Helpers of the Ogg script tests (sourced by them).
for tool in oggenc oggdec opusenc opusdec opusinfo ogginfo vorbiscomment flac sox python3; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

# inspect ARGS: runs vorn-inspect; standard output to stdout, standard error to ./err.txt.
inspect() { quiet_retry err.txt wine "$VORN_INSPECT" "$@"; }

# compare RAW REF.wav FORMAT TOLERANCE [OFFSET]: sample-by-sample comparison (tests/inputs/pcm_compare.py).
compare() { python3 "$VORN_SOURCE_DIR/tests/inputs/pcm_compare.py" "$@"; }

# packets FILE [--skip-head]: the file's packets without the comment packets (tests/inputs/ogg_packets.py).
packets() { python3 "$VORN_SOURCE_DIR/tests/inputs/ogg_packets.py" "$1" --skip-comments "${@:2}"; }

# make_wav NAME RATE CHANNELS SECONDS: a tone that differs per channel, with some noise.
make_wav() {
  sox -V1 -D -n -r "$2" -b 16 -c "$3" "$1.wav" synth "$4" sine 300-2000 whitenoise vol 0.5 || fail "sox $1"
}

# expect_error TEXT ID: the last command's standard error names the failure by its text or by its id.
expect_error() {
  grep -qF -- "$1" err.txt || grep -qF -- "$2" err.txt || { cat err.txt >&2; fail "expected the error '$1' ($2)"; }
}
