# Sourced by the transport and control scripts: the session, the checkers, `play` recording into cap.raw with
# its stretches of the references, retries, and the checks on stretches and events.
source "$VORN_SOURCE_DIR/tools/env/session.sh"
check() { python3 "$VORN_SOURCE_DIR/tests/playback/capture_check.py" "$@" || fail "capture check '$1' failed"; }
pcheck() { python3 "$VORN_SOURCE_DIR/tests/playback/playback_check.py" "$@" || fail "playback check '$1' failed"; }
rate=$(vorn_sink_rate)
[ "$rate" = 44100 ] || skip "the sink runs at $rate Hz, the fixtures at 44100 Hz"

play() {  # play ARGS...: vorn-inspect play ARGS, recorded into cap.raw; out.txt with the times cut off
    vorn_capture_start cap.raw
    set +e
    timeout 120 wine "$VORN_INSPECT" play "$@" > out.raw 2> err.txt < /dev/null
    rc=$?
    set -e
    vorn_capture_stop
    tr -d '\r' < out.raw | cut -d' ' -f2- > out.txt
    [ "$rc" = 0 ] || { cat err.txt >&2; fail "play $* ended with $rc"; }
    pcheck stretches cap.raw "${refs[@]}" --rate "$rate" > stretches.txt
}

retry() {  # retry FUNCTION (see capture_support.sh)
    local n
    for n in 1 2 3 4; do
        if ( "$1" ) 2> attempt.err; then return 0; fi
        echo "attempt $n of $1: $(cat attempt.err)" >&2
    done
    fail "$1 failed four times"
}

events() { grep -v '^time \|^position ' out.txt || true; }
# within VALUE EXPECTED TOLERANCE WHAT
within() {
    python3 -c "import sys; sys.exit(0 if abs($1 - $2) <= $3 else 1)" || fail "$4: $1, expected $2 +- $3"
}
stretch() { sed -n "${1}p" stretches.txt | cut -d' ' -f"$2"; }   # stretch LINE FIELD
count() { wc -l < stretches.txt; }
# Stretch 2 goes on near where stretch 1 stopped (no jump), and the last one reaches the track's end.
continues() { continues_from 1 "$@"; }
continues_from() {  # continues_from FIRST_STRETCH WHAT SECONDS_OF_TRACK
    local i last=$(count) first=$1
    shift
    for ((i = first + 1; i <= last; i++)); do
        within "$(stretch "$i" 2)" "$(python3 -c "print($(stretch $((i - 1)) 2) + $(stretch $((i - 1)) 3))")" 0.25 \
            "$1: start of stretch $i ($(cat stretches.txt | tr '\n' ';'))"
    done
    within "$(python3 -c "print($(stretch "$last" 2) + $(stretch "$last" 3))")" "$2" 0.0001 "$1: end heard"
}
