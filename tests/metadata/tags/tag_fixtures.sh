# Helpers of the tag script tests (sourced): fixtures made with Debian's sox, lame, python3-mutagen, id3v2
# and eyeD3, and checks of vorn-inspect's tag commands.

PY=/usr/bin/python3   # Debian's interpreter, the one python3-mutagen belongs to

for tool in sox lame id3v2 eyeD3; do
    command -v "$tool" >/dev/null || fail "$tool is missing (./vorn installs it)"
done
"$PY" -c "import mutagen" 2>/dev/null || fail "python3-mutagen is missing (./vorn installs it)"

# A short MP3 without tags: make_mp3 FILE
make_mp3() {
    [ -f "$VORN_TEST_TMP/plain.mp3" ] || {
        sox -n -r 44100 -c 2 -b 16 "$VORN_TEST_TMP/tone.wav" synth 1 sine 440 || fail "sox failed"
        lame --quiet "$VORN_TEST_TMP/tone.wav" "$VORN_TEST_TMP/plain.mp3" || fail "lame failed"
    }
    cp "$VORN_TEST_TMP/plain.mp3" "$1"
}

# vorn-inspect tags FILE > OUT (fails the test when the command fails)
inspect_tags() {
    wine "$VORN_INSPECT" tags "$1" > "$2" 2> "$2.err" || { cat "$2.err" >&2; fail "tags $1 failed"; }
    tr -d '\r' < "$2" > "$2.tmp" && mv "$2.tmp" "$2"
}

# vorn-inspect tags-write FILE ARGS... (fails the test when the command fails)
inspect_write() {
    local file=$1; shift
    wine "$VORN_INSPECT" tags-write "$file" "$@" > "$VORN_TEST_TMP/write.out" 2> "$VORN_TEST_TMP/write.err" ||
        { cat "$VORN_TEST_TMP/write.err" >&2; fail "tags-write $file $* failed"; }
}

# expect_lines ACTUAL_FILE EXPECTED_TEXT WHAT: the file holds exactly these lines (order kept)
expect_lines() {
    local expected="$VORN_TEST_TMP/expected.txt"
    printf '%s\n' "$2" > "$expected"
    diff -u "$expected" "$1" >&2 || fail "$3: output differs"
}

# The bytes of a file between its leading ID3v2 tags and its trailing APE/ID3v1 tags, as an MD5 sum.
audio_md5() {
    "$PY" - "$1" <<'EOF'
import hashlib, struct, sys
data = open(sys.argv[1], 'rb').read()
start = 0
while data[start:start + 3] == b'ID3' and len(data) >= start + 10:
    h = data[start:start + 10]
    size = (h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9]
    start += 10 + size + (10 if h[5] & 0x10 else 0)
end = len(data)
ape_done = False
while True:
    before = end
    if not ape_done and end >= 32 and data[end - 32:end - 24] == b'APETAGEX':
        size, count, flags = struct.unpack('<III', data[end - 20:end - 8])
        end -= size + (32 if flags & 0x80000000 else 0)
        ape_done = True
    if end >= 128 and data[end - 128:end - 125] == b'TAG':
        end -= 128
    if end == before:
        break
print(hashlib.md5(data[start:end]).hexdigest())
EOF
}
