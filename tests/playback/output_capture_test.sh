# What the output plays, recorded from the null sink's monitor: exact float and 16-bit sound, a rate change
# that drains first, the XP path (16-bit, chosen device, no session volume), the int32 fallback at full scale,
# and the lengths of volume ramps and of the stop, pause and seek fades.
# serial: records the one shared sound device (and sets Wine's version for vorn-inspect.exe)

source "$VORN_SOURCE_DIR/tools/env/session.sh"
# A failed check ends the attempt at once: the retried functions run inside `if`, where errexit is off.
check() { python3 "$VORN_SOURCE_DIR/tests/playback/capture_check.py" "$@" || fail "capture check '$1' failed"; }
rate=$(vorn_sink_rate)
[ -n "$rate" ] || fail "no null sink"

play() {  # play CAPTURE ARGS...: vorn-inspect output ARGS, recorded into CAPTURE; out.txt, err.txt, $rc
    vorn_capture_start "$1"
    shift
    set +e
    timeout 120 wine "$VORN_INSPECT" output "$@" > out.txt 2> err.txt < /dev/null
    rc=$?
    set -e
    vorn_capture_stop
    tr -d '\r' < out.txt > out.clean && mv out.clean out.txt
    [ "$rc" = 0 ] || { cat err.txt >&2; fail "output $* ended with $rc"; }
}

# Under load the sound system now and then drops or adds a period; a check that fails is run again, three
# times at most, before the test fails. What a failed attempt recorded and printed, and the end of the sound
# server's log, stay in failed-FUNCTION-N/ of the scratch folder.
retry() {  # retry FUNCTION
    local n kept
    for n in 1 2 3 4; do
        if ( "$1" ) 2> attempt.err; then return 0; fi
        kept="failed-$1-$n"
        mkdir -p "$kept"
        cp -f attempt.err cap.raw rest.raw out.txt err.txt "$kept/" 2>/dev/null || true
        tail -n 50 "$XDG_RUNTIME_DIR/pulse.log" > "$kept/pulse.log" 2>/dev/null || true
        echo "attempt $n of $1 (kept in $VORN_TEST_TMP/$kept): $(cat attempt.err)" >&2
    done
    fail "$1 failed four times"
}

# within VALUE EXPECTED TOLERANCE WHAT
within() {
    python3 -c "import sys; sys.exit(0 if abs($1 - $2) <= $3 else 1)" || fail "$4: $1, expected $2 +- $3"
}

check wav dc.wav --rate "$rate" --seconds 6 --kind dc --bits 16
check wav steps.wav --rate "$rate" --seconds 8 --kind steps --bits 16
check wav square.wav --rate "$rate" --seconds 2 --kind square

# A float WAV, long enough to wrap the ring (0.25 s) and the buffer (3.2 s) many times, is heard exactly,
# then silence.
sox -n -r "$rate" -c 2 -e floating-point -b 32 long.wav synth 9 sine 440 sine 1003 vol 0.7
float_exact() {
    play cap.raw "$PWD/long.wav" --fade-out 0 --fade-seek 0 --fade-pause 0
    expect_eq "$(cat out.txt)" "open $rate 2 32 float
done 9.000" "output of a float WAV"
    check exact cap.raw long.wav
}
retry float_exact

# 44.1 then 48 kHz: the old device plays its last sample before the new one opens; the second is heard
# (resampled by the sound system) at its pitch, level and length.
sox -n -r 44100 -c 2 -e floating-point -b 32 a44.wav synth 2 sine 440 vol 0.5
sox -n -r 48000 -c 2 -e floating-point -b 32 b48.wav synth 1.5 sine 660 vol 0.5
rate_change() {
    play cap.raw "$PWD/a44.wav" "$PWD/b48.wav"
    expect_eq "$(cat out.txt)" "open 44100 2 32 float
drain
open 48000 2 32 float
done 3.500" "output of 44.1 then 48 kHz"
    check exact cap.raw a44.wav --rest rest.raw
    check tone rest.raw --hz 660 --seconds 1.5 --level 0.5 --rate "$rate"
}
[ "$rate" = 44100 ] && retry rate_change

# --int32: the device object treats float as refused; +-1.0 are heard at full scale, +1.0 never wrapped.
int32_full_scale() {
    play cap.raw "$PWD/square.wav" --int32
    expect_eq "$(cat out.txt)" "open $rate 2 32 int
done 2.000" "output with --int32"
    check exact cap.raw square.wav --tolerance 1e-7
}
retry int32_full_scale

# Volume, a volume ramp (0.05 s), fade-out on stop, fade to pause and back: lengths from the capture.
# Wine's SetVolume approximates dB by powers of two, so levels are met within 1 %.
volume_and_pause() {
    play cap.raw "$PWD/dc.wav" --volume -6 --fade-pause 200 --fade-out 300 \
        --at 1:pause --at 2:resume --at 3:volume=-20 --at 4:stop
    read -r down up ramp stop < <(check ramps cap.raw --levels 0.25,0,0.25,0.05,0 --rate "$rate" --tolerance 0.01)
    within "$down" 0.2 0.03 "fade to pause"
    within "$up" 0.2 0.03 "fade back from pause"
    within "$ramp" 0.05 0.025 "volume ramp"
    within "$stop" 0.3 0.03 "fade-out on stop"
}
retry volume_and_pause

# Immediate at 0: pause, volume change... and stop without fades.
immediate() {
    play cap.raw "$PWD/dc.wav" --fade-pause 0 --fade-out 0 --at 1:pause --at 1.5:resume --at 2:stop
    read -r down up stop < <(check ramps cap.raw --levels 0.5,0,0.5,0 --rate "$rate")
    within "$down" 0 0.012 "pause without a fade"
    within "$up" 0 0.012 "resume without a fade"
    within "$stop" 0 0.012 "stop without a fade"
}
retry immediate

# Seek fades on flush: the old sound (+0.5) fades out and the new (-0.5, 3 s further into the file) in, each
# over "Fade on seek"; with 0 the change is immediate (the new device only waits for its start threshold).
seek_fades() {
    play cap.raw "$PWD/steps.wav" --fade-seek 200 --fade-out 0 --at 1:flush --at 2.5:stop
    read -r cross stop < <(check ramps cap.raw --levels 0.5,-0.5,0 --rate "$rate")
    within "$cross" 0.24 0.05 "seek fades of 200 ms"
    play cap.raw "$PWD/steps.wav" --fade-seek 0 --fade-out 0 --at 1:flush --at 2.5:stop
    read -r cross stop < <(check ramps cap.raw --levels 0.5,-0.5,0 --rate "$rate")
    within "$cross" 0.03 0.03 "seek without fades"
}
retry seek_fades

# Windows XP: 16-bit integers through the converter, a 16-bit FLAC heard exactly as flac -d gives it, a listed
# device chosen by GUID plays, no session volume.
sox -n -r "$rate" -c 2 -b 16 t.wav synth 4 sine 300 sine 500 vol 0.6
flac -s -f -o t.flac t.wav && flac -s -d -f -o t_ref.wav t.flac
vorn_winver_set "$VORN_INSPECT" winxp
trap 'vorn_winver_clear "$VORN_INSPECT"' EXIT
xp_flac() {
    play cap.raw "$PWD/t.flac"
    expect_eq "$(cat out.txt)" "open $rate 2 16 int
done 4.000" "output of a FLAC on XP"
    check exact cap.raw t_ref.wav
}
retry xp_flac

wine "$VORN_INSPECT" output-devices < /dev/null | tr -d '\r' > devices.txt
chosen=$(awk '$1 == "device" && $2 != "{00000000-0000-0000-0000-000000000000}" { print $2; exit }' devices.txt)
[ -n "$chosen" ] || fail "no listed device: $(cat devices.txt)"
xp_device() {
    play cap.raw "tone:440:1:$rate" --device "$chosen"
    check tone cap.raw --hz 440 --seconds 1 --level 0.5 --rate "$rate"
}
retry xp_device

wine "$VORN_INSPECT" session-volume < /dev/null | tr -d '\r' > out.txt
expect_eq "$(cat out.txt)" "none" "session volume on XP"
