# Playback through the controller, engine and output (vorn-inspect play), recorded from the null sink: a
# list of FLAC, WavPack, Vorbis, WAV, Musepack and cue subsongs is heard as the tracks decode, joined
# sample for sample with nothing after; Opus and FLAC at 48 kHz follow each other.
# serial: records the one shared sound device

source "$VORN_SOURCE_DIR/tests/playback/capture_support.sh"
# ---- Gapless at 44.1 kHz: every format the inputs read, and three subsongs of one FLAC file.
tone() { sox -n -r 44100 -c 2 -b 16 "$1" synth "$2" sine "$3" sine "$4" vol 0.6; }
tone a.wav 1.3 440 445 && flac -s -f a.wav -o a.flac
tone b.wav 1.1 550 555 && wavpack -q -y b.wav -o b.wv
tone c.wav 0.9 660 665 && oggenc -Q -q 4 c.wav -o c.ogg
tone d.wav 0.7 770 775
tone e.wav 1.0 880 885 && mpcenc --silent --overwrite e.wav e.mpc 2> /dev/null
tone disc.wav 3 330 335
cat > disc.cue <<'CUE'
FILE "disc.wav" WAVE
  TRACK 01 AUDIO
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    INDEX 01 00:01:00
  TRACK 03 AUDIO
    INDEX 01 00:02:20
CUE
flac -s -f --cuesheet=disc.cue disc.wav -o disc.flac

parts=()
n=0
for item in a.flac:0 b.wv:0 c.ogg:0 d.wav:0 e.mpc:0 disc.flac:1 disc.flac:2 disc.flac:3; do
    inspect decode "$PWD/${item%%:*}" "${item##*:}" "$PWD/part$n.raw" --float
    parts+=("part$n.raw")
    n=$((n + 1))
done
pcheck join joined.wav "${parts[@]}"

gapless() {
    play cap.raw "$PWD/a.flac" "$PWD/b.wv" "$PWD/c.ogg" "$PWD/d.wav" "$PWD/e.mpc" "$PWD/disc.flac" \
        --fade-out 0 --fade-seek 0 --fade-pause 0
    expect_eq "$(events)" "starting 1 0
new_track 0
new_track 1
new_track 2
new_track 3
new_track 4
new_track 5
new_track 6
new_track 7
stopped 1" "events of the gapless list"
    check exact cap.raw joined.wav
}
[ "$rate" = 44100 ] && retry gapless

# ---- Opus (always 48 kHz) followed by FLAC at 48 kHz: exact where the sink runs at 48 kHz.
sox -n -r 48000 -c 2 -b 16 o.wav synth 1.2 sine 500 sine 505 vol 0.6 && opusenc --quiet o.wav o.opus
sox -n -r 48000 -c 2 -b 16 f48.wav synth 0.8 sine 700 sine 705 vol 0.6 && flac -s -f f48.wav -o f48.flac
inspect decode "$PWD/o.opus" 0 "$PWD/o.raw" --float
inspect decode "$PWD/f48.flac" 0 "$PWD/f48.raw" --float
pcheck join joined48.wav o.raw f48.raw
gapless_48k() {
    play cap.raw "$PWD/o.opus" "$PWD/f48.flac" --fade-out 0 --fade-seek 0 --fade-pause 0
    expect_eq "$(events)" "starting 1 0
new_track 0
new_track 1
stopped 1" "events of Opus and FLAC at 48 kHz"
    if [ "$rate" = 48000 ]; then check exact cap.raw joined48.wav; fi
}
retry gapless_48k

true
