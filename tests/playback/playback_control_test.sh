# More of playback through vorn-inspect play, recorded from the null sink: a start held paused plays the
# whole track once play comes; pausing fades over "Fade out (ms)"; next on the last track stops; a tag
# written while the file plays lands in the file and the sound stays exact; the volume goes to the session
# from Vista on (samples unscaled) and scales the samples on Windows XP.
# serial: records the one shared sound device

source "$VORN_SOURCE_DIR/tests/playback/transport_support.sh"

pcheck noise m.wav --rate 44100 --seconds 3 --start 2
refs=("$PWD/m.wav")
fades=(--fade-out 0 --fade-seek 0 --fade-pause 0)

# Started paused: nothing is heard until play; then the whole track.
start_paused() {
    play "$PWD/m.wav" "${fades[@]}" --start-paused --at 1:play
    expect_eq "$(events)" "starting 1 1
new_track 0
pause 0
stopped 1" "events of a paused start"
    expect_eq "$(cat stretches.txt | cut -d' ' -f1-3)" "0 0.0000 3.0000" "sound of a paused start"
    python3 -c "import sys; sys.exit(0 if $(stretch 1 4) > 0.8 else 1)" || fail "sound before play: $(cat stretches.txt)"
}
retry start_paused

# Next on the last track without repeat: the playback ends at once.
next_on_last() {
    play "$PWD/m.wav" "${fades[@]}" --at 1:next
    expect_eq "$(events)" "starting 1 0
new_track 0
stopped 2
starting 2 0
stopped 1" "events of next on the last track"
    expect_eq "$(count)" 1 "stretches of next on the last track: $(cat stretches.txt)"
    python3 -c "import sys; sys.exit(0 if $(stretch 1 3) < 1.5 else 1)" || fail "sound after next: $(cat stretches.txt)"
}
retry next_on_last

# Pausing fades out over "Fade out (ms)" (the output is released), here 300 ms; play comes back at once.
check wav dc.wav --rate 44100 --seconds 4 --kind dc
pause_fade() {
    vorn_capture_start cap.raw
    timeout 120 wine "$VORN_INSPECT" play "$PWD/dc.wav" --fade-out 300 --fade-pause 0 --fade-seek 0 --at 1:pause \
        --at 2:play > out.raw 2> err.txt < /dev/null || { cat err.txt >&2; fail "play of dc.wav"; }
    vorn_capture_stop
    read -r down up < <(check ramps cap.raw --levels 0.5,0,0.5 --rate 44100 --tolerance 0.01)
    within "$down" 0.3 0.03 "fade out on pause"
}
retry pause_fade

# A tag written while the file plays: the engine gives the file up, the tag lands, and the sound is the
# track exactly, once.
sox -n -r 44100 -c 2 -b 16 w16.wav synth 5 whitenoise vol 0.3
flac -s -f w16.wav -o w.flac
timeout 60 wine "$VORN_INSPECT" decode "$PWD/w.flac" 0 "$PWD/w.raw" --float < /dev/null > /dev/null 2>&1 || fail "decode w.flac"
pcheck join w.wav w.raw
refs+=("$PWD/w.wav")
write_while_playing() {
    cp w.flac wp.flac
    play "$PWD/wp.flac" "${fades[@]}" --at 1:write=0:TITLE=Changed
    grep -q '^written 0$' out.txt || fail "no write: $(cat out.txt)"
    grep -q '^info 0$' out.txt || fail "no info event for the written track: $(cat out.txt)"
    expect_eq "$(metaflac --show-tag=TITLE wp.flac)" "TITLE=Changed" "the written tag"
    flac -s -t wp.flac || fail "the written file does not test"
    expect_eq "$(cat stretches.txt | cut -d' ' -f1-3)" "1 0.0000 5.0000" "sound while the tag was written"
}
retry write_while_playing
# Volume -6 dB: from Vista on the session volume takes it (Wine does not apply that to the sound), the
# samples stay at 0.5; on Windows XP the output scales them to 0.25.
check wav dc2.wav --rate 44100 --seconds 2 --kind dc
volume_level() {  # volume_level LEVEL TOLERANCE
    vorn_capture_start cap.raw
    timeout 120 wine "$VORN_INSPECT" play "$PWD/dc2.wav" --volume -6 "${fades[@]}" > out.raw 2> err.txt < /dev/null ||
        { cat err.txt >&2; fail "play with a volume"; }
    vorn_capture_stop
    tr -d '\r' < out.raw | cut -d' ' -f2- > out.txt
    grep -qx 'volume -6.00' out.txt || fail "no volume event: $(cat out.txt)"
    check ramps cap.raw --levels "$1,0" --rate 44100 --tolerance "$2" > /dev/null
}
session_volume() { volume_level 0.5 0.0001; }
retry session_volume
vorn_winver_set "$VORN_INSPECT" winxp
trap 'vorn_winver_clear "$VORN_INSPECT"' EXIT
xp_volume() { volume_level 0.2506 0.01; }
retry xp_volume
true
