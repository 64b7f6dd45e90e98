# 16-bit and 24-bit WAV files made with sox go into float audio blocks and back to the same bytes.
# The unit-test program reads the files from the folder named in VORN_WAV_DIR.
command -v sox >/dev/null || fail "sox is not installed"
mkdir wav
sox -V1 -n -r 44100 -b 16 -c 2 wav/noise16.wav synth 2 whitenoise
sox -V1 -n -r 48000 -b 16 -c 1 wav/square16.wav synth 0.2 square 100
sox -V1 -n -r 96000 -b 24 -c 2 wav/noise24.wav synth 1 whitenoise
sox -V1 -n -r 44100 -b 24 -c 1 wav/square24.wav synth 0.2 square 100
sox -V1 -n -r 44100 -b 24 -c 6 wav/sine24.wav synth 0.5 sine 997 vol 0.7
for f in wav/*.wav; do [ -s "$f" ] || fail "sox made no $f"; done

set +e
VORN_WAV_DIR=$(winpath "$PWD/wav") wine "$VORN_BUILD_DIR/tests/test_metadata.exe" --no-colors \
    --test-case="sox-made WAV files*" > out.txt 2>&1
rc=$?
set -e
[ $rc -eq 0 ] || { cat out.txt >&2; fail "the round trip failed (exit $rc)"; }
# One case ran and checked something (without the folder it would check nothing).
grep -Eq "test cases: +1 \| +1 passed \| +0 failed" out.txt || { cat out.txt >&2; fail "the round-trip case did not run"; }
grep -Eq "assertions: +[1-9][0-9]* \|" out.txt || { cat out.txt >&2; fail "the round trip checked nothing"; }
