# vorn-inspect tags-write on MP3 files made by lame: mutagen reads back the same fields, values and pictures,
# the audio between the tags keeps its bytes, and a file is rewritten through a temporary that leaves
# nothing behind.

source "$VORN_SOURCE_DIR/tests/metadata/tags/tag_fixtures.sh"

leftovers() { ls "$VORN_TEST_TMP" | grep '^temp-.*\.tmp$' || true; }

# --- a new ID3v2 tag on a file without tags -------------------------------------------------------------------
f="$VORN_TEST_TMP/new.mp3"
make_mp3 "$f"
audio=$(audio_md5 "$f")
inspect_write "$f" artist=A artist=B "title=Café ☕" album=Al date=2004-05-06 tracknumber=3 totaltracks=10 \
    genre=Rock genre=Jazz "comment=a comment" "comment note=described" MOOD=calm "unsynced lyrics=la la" \
    "replaygain_track_gain=-6.5" replaygain_track_peak=0.9 --id3v2
expect_eq "$(audio_md5 "$f")" "$audio" "the audio of new.mp3"
[ -z "$(leftovers)" ] || fail "temporary files left: $(leftovers)"
"$PY" - "$f" <<'EOF' || fail "mutagen reads new.mp3 differently"
import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
assert t.version == (2, 3, 0), t.version
def text(key):
    return t[key].text
# 2.3 has one string per frame: several values are joined as the program joins them.
assert text('TPE1') == ['A / B'], text('TPE1')
assert text('TIT2') == ['Caf\u00e9 \u2615'], text('TIT2')
assert text('TALB') == ['Al']
assert str(t['TDRC']) == '2004-05-06', str(t['TDRC'])
assert text('TRCK') == ['3/10']
assert text('TCON') == ['Rock;Jazz'], text('TCON')
comments = {c.desc: c.text for c in t.getall('COMM')}
assert comments == {'': ['a comment'], 'note': ['described']}, comments
assert t.getall('USLT')[0].text == 'la la'
txxx = {x.desc: x.text for x in t.getall('TXXX')}
assert txxx['MOOD'] == ['calm'], txxx
assert txxx['replaygain_track_gain'] == ['-6.50 dB'], txxx
assert txxx['replaygain_track_peak'] == ['0.900000'], txxx
EOF

# --- an existing 2.4 tag with a picture: fields change, the picture and unknown frames stay byte for byte -----
f="$VORN_TEST_TMP/picture.mp3"
make_mp3 "$f"
"$PY" - "$f" <<'EOF' || fail "mutagen picture fixture"
import sys
from mutagen.id3 import ID3, TIT2, TPE1, APIC, PRIV, TCMP
# Picture bytes that unsynchronisation would change: a reader that strips the byte after every FF would
# see something else.
png = b'\x89PNG\r\n\x1a\n' + bytes([0xFF, 0x00, 0xFF, 0xE0, 0xFF, 0xFF]) * 50 + b'\xff'
t = ID3()
t.add(TIT2(encoding=3, text=['Old']))
t.add(TPE1(encoding=3, text=['Kept']))
t.add(TCMP(encoding=3, text=['1']))
t.add(APIC(encoding=3, mime='image/png', type=3, desc='front', data=png))
t.add(APIC(encoding=3, mime='image/jpeg', type=4, desc='back', data=b'\xff\xd8\xff\xe0' * 30 + b'\xff'))
t.add(PRIV(owner='vorn.test', data=b'\x00\xff\x00private'))
t.save(sys.argv[1], v2_version=4)
EOF
audio=$(audio_md5 "$f")
inspect_tags "$f" "$VORN_TEST_TMP/before.txt"
expect_contains "$VORN_TEST_TMP/before.txt" "meta album artist=Various Artists"
inspect_write "$f" title=New "album=A new album" composer=X composer=Y --id3v2
expect_eq "$(audio_md5 "$f")" "$audio" "the audio of picture.mp3"
"$PY" - "$f" <<'EOF' || fail "mutagen reads picture.mp3 differently"
import sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
assert t.version == (2, 4, 0), t.version
assert t['TIT2'].text == ['New'], t['TIT2'].text
assert t['TALB'].text == ['A new album']
assert t['TPE1'].text == ['Kept']
assert t['TCOM'].text == ['X', 'Y'], t['TCOM'].text
assert 'TPE2' not in t, 'the shown album artist was written back'
pics = {p.desc: p for p in t.getall('APIC')}
png = b'\x89PNG\r\n\x1a\n' + bytes([0xFF, 0x00, 0xFF, 0xE0, 0xFF, 0xFF]) * 50 + b'\xff'
assert pics['front'].data == png and pics['front'].mime == 'image/png' and pics['front'].type == 3
assert pics['back'].data == b'\xff\xd8\xff\xe0' * 30 + b'\xff' and pics['back'].type == 4
assert t.getall('PRIV')[0].data == b'\x00\xff\x00private'
EOF
inspect_tags "$f" "$VORN_TEST_TMP/after.txt"
expect_lines "$VORN_TEST_TMP/after.txt" "meta album=A new album
meta album artist=Various Artists
meta artist=Kept
meta composer=X
meta composer=Y
meta itunescompilation=1
meta title=New
info tagtype=id3v2.4" "picture.mp3 read back"

# --- growing a tag rewrites the file through a temporary; removing fields and writing trailing tags -------------
f="$VORN_TEST_TMP/grow.mp3"
make_mp3 "$f"
id3v2 -a "A" -t "T" "$f" >/dev/null || fail "id3v2 failed"
audio=$(audio_md5 "$f")
long=$(head -c 6000 /dev/zero | tr '\0' 'x')
inspect_write "$f" "comment=$long" title= --id3v2 --ape --id3v1
expect_eq "$(audio_md5 "$f")" "$audio" "the audio of grow.mp3"
[ -z "$(leftovers)" ] || fail "temporary files left: $(leftovers)"
"$PY" - "$f" "$long" <<'EOF' || fail "mutagen reads grow.mp3 differently"
import sys
from mutagen.id3 import ID3
from mutagen.apev2 import APEv2
t = ID3(sys.argv[1])
assert 'TIT2' not in t, 'an empty value should remove the title'
assert t['TPE1'].text == ['A']
assert t.getall('COMM')[0].text == [sys.argv[2]]
a = APEv2(sys.argv[1])
assert str(a['Artist']) == 'A', dict(a)
assert str(a['Comment']) == sys.argv[2]
assert 'Title' not in a
data = open(sys.argv[1], 'rb').read()
assert data[-128:-125] == b'TAG' and data[-125:-95].rstrip(b'\0') == b'', 'ID3v1 title should be empty'
assert data[-95:-65].rstrip(b'\0') == b'A'
EOF
inspect_tags "$f" "$VORN_TEST_TMP/grow.txt"
expect_contains "$VORN_TEST_TMP/grow.txt" "info tagtype=id3v2.3|apev2|id3v1"

# Writing only ID3v2 again takes the trailing tags away; writing only APE takes the ID3v2 tag away.
inspect_write "$f" artist=B --id3v2
"$PY" - "$f" <<'EOF' || fail "trailing tags were not removed"
import sys
data = open(sys.argv[1], 'rb').read()
assert b'APETAGEX' not in data[-4096:] and data[-128:-125] != b'TAG'
EOF
expect_eq "$(audio_md5 "$f")" "$audio" "the audio after removing the trailing tags"
inspect_write "$f" artist=C --ape
"$PY" - "$f" <<'EOF' || fail "the ID3v2 tag was not removed"
import sys
from mutagen.apev2 import APEv2
data = open(sys.argv[1], 'rb').read()
assert not data.startswith(b'ID3')
assert str(APEv2(sys.argv[1])['Artist']) == 'C'
EOF
expect_eq "$(audio_md5 "$f")" "$audio" "the audio after removing the ID3v2 tag"
[ -z "$(leftovers)" ] || fail "temporary files left: $(leftovers)"

# A 2.3 tag stays 2.3, and a date that 2.3 has no frame for is kept.
f="$VORN_TEST_TMP/date.mp3"
make_mp3 "$f"
id3v2 -t "T" "$f" >/dev/null || fail "id3v2 failed"
inspect_write "$f" "date=2004-05-06T12:30" --id3v2
inspect_tags "$f" "$VORN_TEST_TMP/date.txt"
expect_lines "$VORN_TEST_TMP/date.txt" "meta date=2004-05-06T12:30
meta title=T
info tagtype=id3v2.3" "a date with a time in 2.3"
