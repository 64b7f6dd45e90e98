# Playback through the controller, engine and output (vorn-inspect play), recorded from the null sink:
# ReplayGain scales each track as its tags and the settings say; broken and empty files are reported, named
# and skipped while their neighbours play complete; an unlisted device ends playback with its error.
# serial: records the one shared sound device

source "$VORN_SOURCE_DIR/tests/playback/capture_support.sh"
# ---- ReplayGain: per track the scale its values and the settings give (gain and preamp in dB, a
# processing 2 limit of 1 / peak), heard exactly as decode x scale.
rg_file() {  # rg_file NAME HZ TAGS...: a FLAC of 0.8 s with the given ReplayGain tags
    local name=$1 hz=$2
    shift 2
    sox -n -r 44100 -c 2 -b 16 "$name.wav" synth 0.8 sine "$hz" sine "$((hz + 5))" vol 0.5
    flac -s -f "$name.wav" -o "$name.flac"
    for tag in "$@"; do metaflac --set-tag="$tag" "$name.flac"; done
    inspect decode "$PWD/$name.flac" 0 "$PWD/$name.raw" --float
}
rg_file t1 300 REPLAYGAIN_TRACK_GAIN=-6.00 REPLAYGAIN_ALBUM_GAIN=-3.00
rg_file t2 400
rg_file t3 500 REPLAYGAIN_ALBUM_GAIN=-3.00
rg_file t4 600 REPLAYGAIN_ALBUM_GAIN=+6.00 REPLAYGAIN_ALBUM_PEAK=0.900000
rg_file t5 700 REPLAYGAIN_TRACK_GAIN=-6.00 REPLAYGAIN_TRACK_PEAK=0.500000
db() { python3 -c "print(10 ** ($1 / 20.0))"; }
# Track gain with a +2 dB preamp; no values: the -4 dB preamp; album gain only: the fallback to it.
pcheck join rg1.wav "t1.raw:$(db -4)" "t2.raw:$(db -4)" "t3.raw:$(db -1)"
# Album gain +6 limited by the album peak 0.9; track gain only (fallback) -6, its peak no limit.
pcheck join rg2.wav "t4.raw:$(python3 -c 'print(1 / 0.9)')" "t5.raw:$(db -6)"
replaygain() {
    play cap.raw "$PWD/t1.flac" "$PWD/t2.flac" "$PWD/t3.flac" --replaygain track --preamp-with 2 \
        --preamp-without -4 --fade-out 0 --fade-seek 0 --fade-pause 0
    check exact cap.raw rg1.wav --tolerance 1e-6
    play cap.raw "$PWD/t4.flac" "$PWD/t5.flac" --replaygain album --rg-processing 2 --fade-out 0 --fade-seek 0 \
        --fade-pause 0
    check exact cap.raw rg2.wav --tolerance 1e-6
}
[ "$rate" = 44100 ] && retry replaygain

# ---- A file that is no audio at all (kind 0) and a WAV without samples (kind 2, a track with no audio)
# between two good ones: both reported with their names, each followed by a second of silence; the
# neighbours are heard complete.
tone() { sox -n -r 44100 -c 2 -b 16 "$1" synth "$2" sine "$3" sine "$4" vol 0.6; }
tone a.wav 1.3 440 445 && flac -s -f a.wav -o a.flac
tone b.wav 1.1 550 555 && wavpack -q -y b.wav -o b.wv
inspect decode "$PWD/a.flac" 0 "$PWD/part0.raw" --float
inspect decode "$PWD/b.wv" 0 "$PWD/part1.raw" --float
printf 'not audio at all, not at all' > junk.flac
sox -n -r 44100 -c 2 -b 16 empty.wav trim 0 0
pcheck join first.wav part0.raw
pcheck join last.wav part1.raw
broken() {
    play cap.raw "$PWD/a.flac" "$PWD/junk.flac" "$PWD/empty.wav" "$PWD/b.wv" --fade-out 0 --fade-seek 0 \
        --fade-pause 0
    grep '^error ' out.txt > errors.txt || true
    expect_eq "$(wc -l < errors.txt)" 2 "error lines: $(cat errors.txt)"
    expect_contains errors.txt "error Unable to open item for playback ("
    expect_contains errors.txt "junk.flac"
    expect_contains errors.txt "error Decoding failure at 0:00.000 ("
    expect_contains errors.txt "empty.wav"
    expect_eq "$(events | grep -v '^error ')" "starting 1 0
new_track 0
new_track 1
new_track 2
new_track 3
stopped 1" "events around broken files"
    check exact cap.raw first.wav --rest rest.raw
    check exact rest.raw last.wav
}
[ "$rate" = 44100 ] && retry broken

# ---- A device that is not listed: the fatal error, and playback ends at once.
play cap.raw "$PWD/a.flac" --device "{0BADC0DE-0000-4000-8000-000000000001}"
expect_eq "$(events)" "starting 1 0
error Unrecoverable playback error: Audio device not found
stopped 1" "events of an unlisted device"
true
