# Transport commands through vorn-inspect play, recorded from the null sink: seeks land exactly on their
# target and positions count from it; pause, resume, quick pauses and a restarted output go on where the
# sound stood, also a pause right after a seek.
# serial: records the one shared sound device

source "$VORN_SOURCE_DIR/tests/playback/transport_support.sh"

pcheck noise n.wav --rate 44100 --seconds 6 --start 1

refs=("$PWD/n.wav")
fades=(--fade-out 0 --fade-seek 0 --fade-pause 0)

# Seek: the sound from 4 s of the track, to its end; the position half a second later counts from 4 s.
seek() {
    play "$PWD/n.wav" "${fades[@]}" --at 1:seek=4 --at 1.5:position
    expect_eq "$(events)" "starting 1 0
new_track 0
seek 4.000
stopped 1" "events of a seek"
    within "$(grep '^position ' out.txt | cut -d' ' -f2)" 4.5 0.15 "position after the seek"
    expect_eq "$(count)" 2 "stretches of a seek: $(cat stretches.txt)"
    expect_eq "$(stretch 1 2)" 0.0000 "first stretch"
    expect_eq "$(stretch 2 2) $(stretch 2 3)" "4.0000 2.0000" "the stretch after the seek"
}
retry seek

# A pause right after a seek resumes at the seek's target, not at the track's start.
seek_then_pause() {
    play "$PWD/n.wav" "${fades[@]}" --at 1:seek=4 --at 1.02:pause --at 2:play
    expect_eq "$(events)" "starting 1 0
new_track 0
seek 4.000
pause 1
pause 0
stopped 1" "events of a pause after a seek"
    expect_eq "$(stretch 2 2)" 4.0000 "the stretch after the pause: $(cat stretches.txt)"
    continues_from 2 "pause after a seek" 6
}
retry seek_then_pause

# Pause and play, a restarted output, and quick pauses: the sound goes on where it stood, to the end.
pause_play() {
    play "$PWD/n.wav" "${fades[@]}" --at 1:pause --at 2:play --at 3:position
    expect_eq "$(events)" "starting 1 0
new_track 0
pause 1
pause 0
stopped 1" "events of pause and play"
    [ "$(count)" -ge 2 ] || fail "stretches of pause and play: $(cat stretches.txt)"
    within "$(python3 -c "print($(stretch 2 4) - $(stretch 1 4) - $(stretch 1 3))")" 1 0.2 "the paused second"
    continues "pause and play" 6
    # A second after play, the position is what was heard before the pause plus that second, less the time
    # the new device takes to start.
    within "$(grep '^position ' out.txt | cut -d' ' -f2)" "$(python3 -c "print($(stretch 1 3) + 0.8)")" 0.2 \
        "position a second after play"
}
retry pause_play
restart_output() {
    play "$PWD/n.wav" "${fades[@]}" --at 1:restart-output
    expect_eq "$(events)" "starting 1 0
new_track 0
stopped 1" "events of a restarted output"
    continues "restarted output" 6
}
retry restart_output
rapid() {
    play "$PWD/n.wav" "${fades[@]}" --at 1:pause --at 1.05:play --at 1.1:pause --at 1.15:play --at 1.2:pause \
        --at 1.25:play
    expect_eq "$(events)" "starting 1 0
new_track 0
pause 1
pause 0
pause 1
pause 0
pause 1
pause 0
stopped 1" "events of quick pauses"
    continues "quick pauses" 6
}
retry rapid

true
