# Mutation test of every parser (parser_mutants.exe): small valid files of each input format made here by
# Debian's encoders, the tag, cue, language and configuration fixtures made by the program itself; at least
# 2,000 mutants of each go through open, info, decode, seek and a tag write. A failure line names the seed
# and mutant number that replay it:
#   wine parser_mutants.exe FIXTURES SCRATCH --only NAME --seed S --mutant K
PY=/usr/bin/python3
for tool in sox flac oggenc opusenc wavpack mpcenc ffmpeg; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
mkdir fixtures scratch
cd fixtures
# Short sources keep every mutant quick: 0.15 s of stereo sweep and noise.
sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 0.15 sine 300-2000 whitenoise vol 0.4 || fail "sox"
flac -s --no-padding -T TITLE=Fixture -T ARTIST=Someone -T REPLAYGAIN_TRACK_GAIN=-2.00 -o t.flac src.wav \
  || fail "flac"
flac -s --ogg --no-padding -T TITLE=Fixture -o t.oga src.wav || fail "ogg flac"
oggenc -Q -q 0 -t Fixture -a Someone -o t.ogg src.wav || fail "oggenc"
opusenc --quiet --bitrate 32 --title Fixture --artist Someone src.wav t.opus || fail "opusenc"
wavpack -q -y -w "Title=Fixture" src.wav -o t.wv || fail "wavpack"
ffmpeg -nostdin -v error -y -i src.wav -metadata title=Fixture -metadata artist=Someone t.wav || fail "wav"
ffmpeg -nostdin -v error -y -i src.wav -rf64 always t.rf64.wav || fail "rf64"
sox -V1 src.wav -t w64 t.w64 || fail "wave64"
mpcenc --silent --quality 2 --tag Title=Fixture src.wav t.mpc || fail "mpcenc"
ffmpeg -nostdin -v error -y -i src.wav -c:a alac t.m4a || fail "alac"
"$PY" "$VORN_SOURCE_DIR/tests/inputs/alac_frames.py" t.m4a t.alacframes || fail "alac frames"
cd ..
ls -l fixtures >&2

set +e
wine "$VORN_BUILD_DIR/tests/parser_mutants.exe" "$(winpath "$PWD/fixtures")" "$(winpath "$PWD/scratch")" \
  ${VORN_MUTANTS:+--mutants "$VORN_MUTANTS"} > out.txt 2> err.txt
rc=$?
set -e
cat out.txt
cat err.txt >&2
[ $rc -eq 0 ] || fail "parser mutants failed (exit $rc): see the FAIL, CRASH or HANG lines above"
grep -q "^all mutants handled" out.txt || fail "the run did not finish"
