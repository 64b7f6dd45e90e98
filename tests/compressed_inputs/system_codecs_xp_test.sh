# The system codecs with Wine reporting Windows XP to the program: MP3, MP2 and MP1 decode through ACM to the
# samples of the newer systems' path, and AAC is refused with its text. Copies of the programs under names
# of their own carry the version, so tests running beside this one are not affected.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
source "$VORN_SOURCE_DIR/tools/env/session.sh"
cp "$VORN_INSPECT" "$PWD/vorn-inspect-xp.exe"
cp "$VORN_BUILD_DIR/tests/test_compressed_inputs.exe" "$PWD/test-compressed-xp.exe"
trap 'vorn_winver_clear "$PWD/vorn-inspect-xp.exe"; vorn_winver_clear "$PWD/test-compressed-xp.exe"' EXIT
vorn_winver_set "$PWD/vorn-inspect-xp.exe" winxp
vorn_winver_set "$PWD/test-compressed-xp.exe" winxp

source_wav s 44100 2 1.3
lame --quiet -V3 s.wav a.mp3 < /dev/null || fail "lame"
twolame --quiet -p s.wav a.mp2 || fail "twolame"
python3 "$HERE/mp1_frames.py" a.mp1 100 --crc
for file in a.mp3 a.mp2 a.mp1; do
  decode "$file" new.pcm
  wine "$PWD/vorn-inspect-xp.exe" decode "$PWD/$file" 0 "$PWD/xp.pcm" --flags 8 > /dev/null 2> err.txt < /dev/null \
    || { cat err.txt >&2; fail "decode $file on XP"; }
  cmp -s xp.pcm new.pcm || fail "$file decodes differently on XP"
done
set +e
wine "$PWD/test-compressed-xp.exe" --no-colors --no-skip --test-case="xp child: the system codecs on Windows XP" \
  > child.txt 2>&1 < /dev/null
set -e
grep -Eq "test cases: +1 \| +1 passed \| +0 failed" child.txt || { cat child.txt >&2; fail "XP child"; }
