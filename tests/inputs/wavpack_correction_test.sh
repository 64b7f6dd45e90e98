# WavPack correction files and decoding details (raw 8-bit output, seeking to the end, bitrate): found beside the main file and in the folders of the setting "Additional
# correction file folders", reported once as " + correction"; a lossless file never uses one.
command -v wavpack >/dev/null || fail "wavpack is not installed"
mkdir -p wv/first wv/second
sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 0.5 sine 440 whitenoise vol 0.5 || fail "sox"
wavpack -q -y -b256 -c src.wav -o wv/hybrid.wv || fail "wavpack hybrid"
mv wv/hybrid.wvc wv/second/
cp wv/hybrid.wv wv/beside.wv
cp wv/second/hybrid.wvc wv/beside.wvc
wavpack -q -y src.wav -o wv/lossless.wv || fail "wavpack lossless"
cp wv/second/hybrid.wvc wv/first/lossless.wvc
sox -V1 -D -n -r 8000 -b 8 -c 1 u8.wav synth 1 sine 440 whitenoise vol 0.5 || fail "sox 8-bit"
wavpack -q -y u8.wav -o wv/u8.wv || fail "wavpack 8-bit"

set +e
VORN_WV_DIR=$(winpath "$PWD/wv") wine "$VORN_BUILD_DIR/tests/test_inputs.exe" --no-colors \
    --test-case="WavPack correction files found*,WavPack decoding details*" > out.txt 2>&1
rc=$?
set -e
[ $rc -eq 0 ] || { cat out.txt >&2; fail "the correction-file case failed (exit $rc)"; }
grep -Eq "test cases: +2 \| +2 passed" out.txt || { cat out.txt >&2; fail "the correction-file case did not run"; }
grep -Eq "assertions: +[1-9][0-9]* \|" out.txt || { cat out.txt >&2; fail "the case checked nothing"; }
