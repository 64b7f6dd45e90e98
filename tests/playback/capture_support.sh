# Sourced by the gapless and errors scripts: the session, the checkers, `play` recording into a given capture,
# retries and the event lines.
source "$VORN_SOURCE_DIR/tools/env/session.sh"
check() { python3 "$VORN_SOURCE_DIR/tests/playback/capture_check.py" "$@" || fail "capture check '$1' failed"; }
pcheck() { python3 "$VORN_SOURCE_DIR/tests/playback/playback_check.py" "$@" || fail "playback check '$1' failed"; }
rate=$(vorn_sink_rate)
[ -n "$rate" ] || fail "no null sink"

inspect() {  # inspect ARGS...: vorn-inspect, failing the test on an error
    quiet_retry inspect.err timeout 60 wine "$VORN_INSPECT" "$@" < /dev/null > inspect.out || { cat inspect.err >&2; fail "vorn-inspect $*"; }
}

play() {  # play CAPTURE ARGS...: vorn-inspect play ARGS, recorded into CAPTURE; out.txt with the times cut off
    vorn_capture_start "$1"
    shift
    set +e
    timeout 120 wine "$VORN_INSPECT" play "$@" > out.raw 2> err.txt < /dev/null
    rc=$?
    set -e
    vorn_capture_stop
    tr -d '\r' < out.raw | cut -d' ' -f2- > out.txt
    [ "$rc" = 0 ] || { cat err.txt >&2; fail "play $* ended with $rc"; }
}

# Under load the sound system now and then drops or adds a period; a check that fails is run again, three
# times at most, before the test fails.
retry() {  # retry FUNCTION
    local n
    for n in 1 2 3 4; do
        if ( "$1" ) 2> attempt.err; then return 0; fi
        echo "attempt $n of $1: $(cat attempt.err)" >&2
    done
    fail "$1 failed four times"
}

# The events without the time lines (whole seconds come and go with the machine's speed).
events() { grep -v '^time ' out.txt || true; }

