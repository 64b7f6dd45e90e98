# Tag writing through the MPEG input (vorn-inspect write): an untagged file gets the default scheme's ID3v2 and
# ID3v1 tags, which mutagen, id3v2 and eyeD3 read; an APE-only file stays APE-only; an ID3v1-only file keeps only
# ID3v1 while the info fits it; the audio bytes between the tags never change.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
for tool in id3v2 eyeD3; do command -v "$tool" >/dev/null || fail "$tool is not installed"; done

source_wav s 44100 2 1.2
lame --quiet -b 128 s.wav plain.mp3 < /dev/null || fail "lame"

# audio_of FILE OUT: the bytes between the leading ID3v2 tag and the trailing APE/ID3v1 tags.
audio_of() {
  "$PY" - "$1" "$2" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
start = 0
while d[start:start + 3] == b"ID3":
    size = 0
    for b in d[start + 6:start + 10]:
        size = size << 7 | b
    start += 10 + size + (10 if d[start + 5] & 0x10 else 0)
end = len(d)
while True:
    if d[end - 128:end - 125] == b"TAG":
        end -= 128
    elif d[end - 32:end - 24] == b"APETAGEX":
        size, flags = struct.unpack("<II", d[end - 20:end - 12])[0], struct.unpack("<I", d[end - 12:end - 8])[0]
        end -= size + (32 if flags & 0x80000000 else 0)
    else:
        break
open(sys.argv[2], "wb").write(d[start:end])
PY
}
tagtype() { inspect tags "$PWD/$1" | grep '^info tagtype=' | sed 's/^info tagtype=//'; }

audio_of plain.mp3 plain.audio

# Untagged: ID3v2 + ID3v1.
cp plain.mp3 new.mp3
inspect write "$PWD/new.mp3" "title=Grüße" "artist=Vorn" "album=Tests" > /dev/null || { cat err.txt >&2; fail "write new.mp3"; }
case "$(tagtype new.mp3)" in id3v2*"|id3v1") ;; *) fail "untagged file got $(tagtype new.mp3)";; esac
"$PY" - <<'PY' || fail "mutagen reads new.mp3 differently"
from mutagen.id3 import ID3
t = ID3("new.mp3")
assert str(t["TIT2"]) == "Grüße", t.pprint()
assert str(t["TPE1"]) == "Vorn"
assert str(t["TALB"]) == "Tests"
PY
id3v2 -l new.mp3 > id3v2.txt
expect_contains id3v2.txt "Vorn"
expect_contains id3v2.txt "id3v1 tag info for new.mp3"
eyeD3 --no-color new.mp3 > eyed3.txt 2>&1 || { cat eyed3.txt >&2; fail "eyeD3 new.mp3"; }
expect_contains eyed3.txt "Vorn"
expect_contains eyed3.txt "Tests"
audio_of new.mp3 new.audio
cmp -s new.audio plain.audio || fail "the audio bytes changed"
inspect info "$PWD/new.mp3" > info.txt || fail "info new.mp3"
expect_contains info.txt "meta title=Grüße"
decode plain.mp3 plain.pcm
decode new.mp3 new.pcm
cmp -s new.pcm plain.pcm || fail "the tagged file decodes differently"

# APE only stays APE only.
cp plain.mp3 ape.mp3
inspect tags-write "$PWD/ape.mp3" "title=First" --ape > /dev/null || { cat err.txt >&2; fail "tags-write --ape"; }
expect_eq "$(tagtype ape.mp3)" "apev2" "APE fixture"
inspect write "$PWD/ape.mp3" "title=Second" "artist=Someone" > /dev/null || { cat err.txt >&2; fail "write ape.mp3"; }
expect_eq "$(tagtype ape.mp3)" "apev2" "APE-only file after a write"
inspect info "$PWD/ape.mp3" > info.txt || fail "info ape.mp3"
expect_contains info.txt "meta Title=Second"
audio_of ape.mp3 ape.audio
cmp -s ape.audio plain.audio || fail "APE write: the audio bytes changed"

# ID3v1 only: info that fits keeps ID3v1 alone; a 40-character title brings the scheme's tags.
cp plain.mp3 v1.mp3
inspect tags-write "$PWD/v1.mp3" "title=Short" --id3v1 > /dev/null 2>&1 || true
if [ "$(tagtype v1.mp3)" != "id3v1" ]; then
  "$PY" -c '
import sys
with open("v1.mp3", "ab") as f:
    f.write(b"TAG" + b"Short".ljust(30, b"\0") + bytes(30 + 30 + 4 + 30) + bytes([255]))'
fi
expect_eq "$(tagtype v1.mp3)" "id3v1" "ID3v1 fixture"
inspect write "$PWD/v1.mp3" "title=Still short" "artist=Band" > /dev/null || { cat err.txt >&2; fail "write v1.mp3"; }
expect_eq "$(tagtype v1.mp3)" "id3v1" "ID3v1-only file with info that fits"
long="A title of forty characters, not shorter"
expect_eq "${#long}" 40 "title length"
inspect write "$PWD/v1.mp3" "title=$long" > /dev/null || { cat err.txt >&2; fail "write v1.mp3 long"; }
case "$(tagtype v1.mp3)" in id3v2*"|id3v1") ;; *) fail "ID3v1 file with a long title got $(tagtype v1.mp3)";; esac
inspect info "$PWD/v1.mp3" > info.txt || fail "info v1.mp3"
expect_contains info.txt "meta title=$long"
audio_of v1.mp3 v1.audio
cmp -s v1.audio plain.audio || fail "ID3v1 writes: the audio bytes changed"
