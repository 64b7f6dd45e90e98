# WavPack blocks as Matroska stores them (each block without its first 20 header bytes, the stream version as
# codec private) decode to exactly the bytes `wvunpack` gives: mono and stereo, 16 and 24 bits.
command -v wavpack >/dev/null || fail "wavpack is not installed"
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"
PY=/usr/bin/python3
mkdir mka
while read -r name channels bits; do
  sox -V1 -D -n -r 44100 -b "$bits" -c "$channels" "$name.wav" synth 1.5 sine 300-2000 whitenoise vol 0.5 || fail "sox"
  wavpack -q -y "$name.wav" -o "$name.wv" || fail "wavpack $name"
  wvunpack -q -y "$name.wv" -o "$name.ref.wav" || fail "wvunpack $name"
  data_chunk "$name.ref.wav" "mka/$name.ref"
  "$PY" - "$name.wv" "mka/$name.frames" <<'PY' || fail "blocks of $name"
import struct, sys
d = open(sys.argv[1], 'rb').read()
out = bytearray(); pos = 0; version = None
while pos + 32 <= len(d) and d[pos:pos + 4] == b'wvpk':
    size = struct.unpack_from('<I', d, pos + 4)[0] + 8
    if version is None:
        version = struct.unpack_from('<H', d, pos + 8)[0]; out += struct.pack('<H', version)
    if struct.unpack_from('<I', d, pos + 20)[0]:   # blocks without samples (the file wrapper) stay out
        out += struct.pack('<I', size - 20) + d[pos + 20:pos + size]
    pos += size
open(sys.argv[2], 'wb').write(out)
PY
done <<'CASES'
mono16   1 16
stereo16 2 16
stereo24 2 24
CASES

set +e
VORN_WVMKA_DIR=$(winpath "$PWD/mka") wine "$VORN_BUILD_DIR/tests/test_inputs.exe" --no-colors \
    --test-case="WavPack blocks as Matroska stores them" > out.txt 2>&1
rc=$?
set -e
[ $rc -eq 0 ] || { cat out.txt >&2; fail "decoding the blocks failed (exit $rc)"; }
grep -Eq "test cases: +1 \| +1 passed" out.txt || { cat out.txt >&2; fail "the block case did not run"; }
for ref in mka/*.ref; do
  out=${ref%.ref}.out
  cmp -s "$out" "$ref" || fail "$(basename "${ref%.ref}"): decoded bytes differ from wvunpack ($(stat -c %s "$out") vs $(stat -c %s "$ref"))"
done
