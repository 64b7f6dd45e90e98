# vorn-inspect format PATH SCRIPT [--subsong N]: a title script over a real file's tags, read through input
# probing and digested into the browse record a track handle caches.
command -v flac >/dev/null || fail "flac is not installed"
command -v metaflac >/dev/null || fail "metaflac is not installed"
command -v sox >/dev/null || fail "sox is not installed"

# format EXPECTED SCRIPT [OPTIONS...]: the command's line equals EXPECTED.
format() {
    local expected=$1
    shift
    set +e
    wine "$VORN_INSPECT" format "$PWD/tone.flac" "$@" > out.txt 2> err.txt < /dev/null
    local rc=$?
    set -e
    [ "$rc" = 0 ] || { cat err.txt >&2; fail "format '$1' ended with $rc"; }
    expect_eq "$(tr -d '\r' < out.txt)" "$expected" "format '$1'"
}

sox -V1 -n -r 44100 -b 16 -c 2 tone.wav synth 3.25 sine 440 || fail "sox could not make tone.wav"
flac -s -f tone.wav -o tone.flac || fail "flac could not encode tone.wav"
metaflac --set-tag=ARTIST=A --set-tag=ARTIST=B --set-tag=TITLE=Sinnerman --set-tag="ALBUM=Greatest Hits Disc 2" \
    --set-tag=TRACKNUMBER=5 --set-tag=DATE=1999-07-04 --set-tag=GENRE=Jazz tone.flac

# The browse fields: several values joined by ", ", the disc number split off the album, "05".
format "A, B - Sinnerman" "[%artist% - ]%title%"
format "Greatest Hits|2|05|Jazz|1999" "%album%|%discnumber%|%tracknumber%|%genre%|\$year(%date%)"
format "A, B|A, B|?" "%album artist%|%artist%|%track artist%"
# Built-in fields from the location and the length.
format "0:03|0:03.250|3|0" "%length%|%length_ex%|%length_seconds%|%subsong%"
format "tone|tone.flac|$(basename "$PWD")" "%filename%|%filename_ext%|%directory%"
format "$(winpath "$PWD/tone.flac")" "%path%"
format "tone|0000000000" "%filename_sort%" --subsong 0
# Functions and the compile rules reach the tool unchanged.
format "SINNERMAN [05] (0:03)" "\$upper(%title%) '['%tracknumber%']' '('%length%')'"
format "Sinnerman" "%title%(rest is ignored"

# A title-less file shows its file name.
metaflac --remove-tag=TITLE tone.flac
format "tone" "%title%"

# Failures: an error on standard error, nothing on standard output, a non-zero status.
set +e
wine "$VORN_INSPECT" format "$PWD/tone.flac" "%title%" --subsong x > out.txt 2> err.txt < /dev/null
rc=$?
set -e
[ "$rc" != 0 ] || fail "a bad --subsong was accepted"
expect_contains err.txt "bad --subsong: x"
[ ! -s out.txt ] || fail "output written by a failing command: $(cat out.txt)"

set +e
wine "$VORN_INSPECT" format "$PWD/missing.flac" "%title%" > out.txt 2> err.txt < /dev/null
rc=$?
set -e
[ "$rc" != 0 ] || fail "a missing file was formatted"
[ ! -s out.txt ] || fail "output written for a missing file: $(cat out.txt)"

set +e
wine "$VORN_INSPECT" format "$PWD/tone.flac" > out.txt 2> err.txt < /dev/null
rc=$?
set -e
[ "$rc" != 0 ] || fail "format without a script succeeded"
