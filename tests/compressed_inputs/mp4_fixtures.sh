# Helpers of the MP4 script tests (sourced by them, after mpeg_fixtures.sh).
command -v AtomicParsley >/dev/null || fail "AtomicParsley is not installed"
"$PY" -c 'import mutagen.mp4' 2>/dev/null || fail "mutagen is not installed"

# frames_of FILE CHANNELS BYTES_PER_SAMPLE: sample frames of raw PCM.
frames_of() { echo $(( $(stat -c %s "$1") / ($2 * $3) )); }

# media_samples FILE: the audio track's media duration ("mdhd"), as ffprobe reports it without the edit list.
media_samples() {
  ffprobe -v error -ignore_editlist 1 -select_streams a:0 -show_entries stream=duration_ts -of csv=p=0 "$1"
}

# head_cut IN BYTES OUT: the first BYTES bytes of IN.
head_cut() { head -c "$2" "$1" > "$3"; }
