# The real program plays the files of its command line, and /pause, /play, /next and /stop from a second
# start act on it (recorded from the null sink; the program's fades of 100 ms are skipped by the check); a
# file it cannot play shows the "Playback error" window and the next file plays.
# serial: records the one shared sound device

source "$VORN_SOURCE_DIR/tools/env/session.sh"
pcheck() { python3 "$VORN_SOURCE_DIR/tests/playback/playback_check.py" "$@" || fail "playback check '$1' failed"; }
rate=$(vorn_sink_rate)
[ "$rate" = 44100 ] || skip "the sink runs at $rate Hz, the fixtures at 44100 Hz"

mkdir -p app
cp "$VORN_EXE" app/vorn.exe
touch app/vorn.exe.localconfig.opt
pcheck noise a.wav --rate 44100 --seconds 6 --start 11
pcheck noise b.wav --rate 44100 --seconds 4 --start 12
printf 'no audio in here' > junk.flac
a=$(winpath "$PWD/a.wav")
b=$(winpath "$PWD/b.wav")
junk=$(winpath "$PWD/junk.flac")

instance=
stop_instance() { [ -z "$instance" ] || kill "$instance" 2>/dev/null || true; }
trap stop_instance EXIT

start_instance() {  # start_instance ARGS...: the program in the background, once it runs
    rm -f app/vorn-configuration/running
    WINEDEBUG=+debugstr wine app/vorn.exe "$@" > first.log 2>&1 < /dev/null &
    instance=$!
    for i in $(seq 300); do [ -e app/vorn-configuration/running ] && break; sleep 0.1; done
    [ -e app/vorn-configuration/running ] || fail "the program did not start"
}
send() { wine app/vorn.exe "$1" > /dev/null 2>&1 < /dev/null || fail "the start with $1 failed"; }
end_instance() {
    send /exit
    for i in $(seq 300); do kill -0 "$instance" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$instance" 2>/dev/null && fail "the program did not end after /exit"
    wait "$instance" || true
    instance=
}
# within VALUE EXPECTED TOLERANCE WHAT
within() {
    python3 -c "import sys; sys.exit(0 if abs($1 - $2) <= $3 else 1)" || fail "$4: $1, expected $2 +- $3"
}

# Playing a and b; paused for a second, played on, then next (b from its start), then stopped.
transport() {
    vorn_capture_start cap.raw
    start_instance /hide "$a" "$b"
    sleep 2
    send /pause
    sleep 1.2
    send /play
    sleep 1.2
    send /next
    sleep 1.5
    send /stop
    sleep 1
    end_instance
    vorn_capture_stop
    pcheck stretches cap.raw a.wav b.wav --rate 44100 --fades yes > stretches.txt
    # a from its start, (after the pause) a again near where it stopped, then b from its start, cut short.
    local first last n
    n=$(wc -l < stretches.txt)
    [ "$n" -ge 3 ] || fail "stretches: $(cat stretches.txt | tr '\n' ';')"
    first=$(head -n1 stretches.txt)
    last=$(tail -n1 stretches.txt)
    expect_eq "$(echo "$first" | cut -d' ' -f1-2)" "0 0.0000" "the first sound: $(cat stretches.txt | tr '\n' ';')"
    expect_eq "$(echo "$last" | cut -d' ' -f1-2)" "1 0.0000" "the last sound: $(cat stretches.txt | tr '\n' ';')"
    python3 -c "import sys; sys.exit(0 if $(echo "$last" | cut -d' ' -f3) < 3 else 1)" || fail "b was not stopped"
    # The pause: a gap of about a second between two stretches of a that go on from each other.
    read -r i1 s1 l1 c1 < <(sed -n 1p stretches.txt)
    read -r i2 s2 l2 c2 < <(sed -n 2p stretches.txt)
    expect_eq "$i2" 0 "the sound after play: $(cat stretches.txt | tr '\n' ';')"
    within "$s2" "$(python3 -c "print($s1 + $l1)")" 0.25 "where play went on"
    within "$(python3 -c "print($c2 - $c1 - $l1)")" 1.2 0.4 "the paused time"
}

retry() {  # retry FUNCTION (see playback_gapless_test.sh)
    local n
    for n in 1 2 3; do
        if ( "$1" ) 2> attempt.err; then return 0; fi
        echo "attempt $n of $1: $(cat attempt.err)" >&2
        stop_instance
    done
    fail "$1 failed three times"
}
retry transport

# A file that cannot be played: the "Playback error" window, and b plays complete after it.
broken() {
    vorn_capture_start cap.raw
    start_instance /hide "$junk" "$b"
    local window=""
    for i in $(seq 100); do
        window=$(xdotool search --all --pid "$instance" --name '^Playback error$' 2>/dev/null | head -n1 || true)
        [ -n "$window" ] && break
        for pid in $(pgrep -P "$instance" 2>/dev/null || true); do
            window=$(xdotool search --all --pid "$pid" --name '^Playback error$' 2>/dev/null | head -n1 || true)
            [ -n "$window" ] && break 2
        done
        sleep 0.1
    done
    [ -n "$window" ] || fail "no Playback error window"
    sleep 5.5
    end_instance
    vorn_capture_stop
    pcheck stretches cap.raw b.wav --rate 44100 --fades yes > stretches.txt
    expect_eq "$(cut -d' ' -f1-3 stretches.txt)" "0 0.0000 4.0000" "b after the broken file"
}
retry broken
true
