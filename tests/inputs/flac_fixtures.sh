# Helpers of the FLAC script tests (sourced by them).
command -v flac >/dev/null || fail "flac is not installed"
command -v metaflac >/dev/null || fail "metaflac is not installed"
command -v sox >/dev/null || fail "sox is not installed"

# inspect ARGS: runs the console tool, its errors into err.txt (with the exit code when it fails).
inspect() {
  local rc=0
  quiet_retry err.txt wine "$VORN_INSPECT" "$@" < /dev/null || rc=$?
  [ $rc -eq 0 ] || echo "(vorn-inspect exit code $rc)" >> err.txt
  return $rc
}

# data_chunk WAV OUT: the payload of the WAV file's "data" chunk.
data_chunk() {
  local wav=$1 out=$2 offset=12 total id size
  total=$(stat -c %s "$wav")
  while [ "$offset" -lt "$total" ]; do
    id=$(dd if="$wav" bs=1 skip="$offset" count=4 2>/dev/null)
    size=$(od -An -tu4 -j $((offset + 4)) -N4 "$wav" | tr -d ' ')
    if [ "$id" = data ]; then
      tail -c +$((offset + 9)) "$wav" | head -c "$size" > "$out"
      return 0
    fi
    offset=$((offset + 8 + size + (size & 1)))
  done
  fail "no data chunk in $wav"
}

# make_flac NAME RATE BITS CHANNELS [SECONDS]: NAME.wav (sox) and NAME.flac, with a tone on every channel
# and some noise so that every bit matters.
make_flac() {
  local name=$1 rate=$2 bits=$3 channels=$4 seconds=${5:-1}
  sox -V1 -D -n -r "$rate" -b "$bits" -c "$channels" "$name.wav" synth "$seconds" sine 300-2000 \
      whitenoise vol 0.5 || fail "sox could not make $name.wav"
  flac -s -f --channel-map=none "$name.wav" -o "$name.flac" 2>/dev/null || \
    flac -s -f "$name.wav" -o "$name.flac" || fail "flac could not encode $name.wav"
}

# expect_error TEXT ID: the last command's standard error names the failure by its text or, while the
# program has no language table, by its id.
expect_error() {
  grep -qF -- "$1" err.txt || grep -qF -- "$2" err.txt || { cat err.txt >&2; fail "expected the error '$1' ($2)"; }
}
