# vorn-inspect tags reads the tags that independent tools write: mutagen (ID3v2.3, 2.4, APEv2 with binary
# items), id3v2 (2.3 with ID3v1, ID3v1.1), eyeD3 (2.4 and its 2.3 conversion), and hand-made 2.2 and
# unsynchronised tags. Malformed tags are skipped without changing the file.

source "$VORN_SOURCE_DIR/tests/metadata/tags/tag_fixtures.sh"

# --- mutagen: ID3v2.4, and 2.3 with null-separated and " / "-separated multiple values ---------------------
for variant in 24 23null 23slash; do
    f="$VORN_TEST_TMP/mutagen_$variant.mp3"
    make_mp3 "$f"
    "$PY" - "$f" "$variant" <<'EOF' || fail "mutagen fixture $variant"
import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TRCK, TPOS, TCON, TDRC, COMM, TXXX, USLT, WXXX, APIC
path, variant = sys.argv[1], sys.argv[2]
png = b'\x89PNG\r\n\x1a\n' + bytes([0xFF, 0x00, 0xFF, 0xE0, 0xFF]) * 20
t = ID3()
t.add(TIT2(encoding=3, text=['Caf\u00e9 \u2615']))
t.add(TPE1(encoding=3, text=['A', 'B']))
t.add(TALB(encoding=1, text=['Album']))
t.add(TRCK(encoding=0, text=['3/10']))
t.add(TPOS(encoding=0, text=['1/2']))
t.add(TCON(encoding=3, text=['Rock', 'Jazz']))
t.add(TDRC(encoding=0, text=['2004-05-06']))
t.add(COMM(encoding=3, lang='eng', desc='', text=['plain comment']))
t.add(COMM(encoding=3, lang='eng', desc='note', text=['described']))
t.add(TXXX(encoding=3, desc='replaygain_track_gain', text=['-6.50 dB']))
t.add(TXXX(encoding=3, desc='MOOD', text=['calm']))
t.add(USLT(encoding=3, lang='eng', desc='', text='la la'))
t.add(WXXX(encoding=0, desc='', url='http://example.com/'))
t.add(APIC(encoding=0, mime='image/png', type=3, desc='', data=png))
if variant == '24':
    t.save(path, v2_version=4)
elif variant == '23null':
    t.save(path, v2_version=3, v23_sep=None)
else:
    t.save(path, v2_version=3, v23_sep=' / ')
EOF
    md5_before=$(md5sum < "$f")
    inspect_tags "$f" "$VORN_TEST_TMP/out_$variant.txt"
    version=$([ "$variant" = 24 ] && echo 4 || echo 3)
    # TCON is split at ';' only: mutagen's " / " join stays one genre.
    genres="meta genre=Rock
meta genre=Jazz"
    [ "$variant" = 23slash ] && genres="meta genre=Rock / Jazz"
    expect_lines "$VORN_TEST_TMP/out_$variant.txt" "meta album=Album
meta artist=A
meta artist=B
meta comment=plain comment
meta comment note=described
meta date=2004-05-06
meta discnumber=1
$genres
meta MOOD=calm
meta title=Café ☕
meta totaldiscs=2
meta totaltracks=10
meta tracknumber=3
meta unsynced lyrics=la la
meta www=http://example.com/
replaygain track_gain=-6.50 dB
info tagtype=id3v2.$version" "mutagen $variant"
    expect_eq "$(md5sum < "$f")" "$md5_before" "reading changed mutagen_$variant.mp3"
done

# --- id3v2: a 2.3 tag together with an ID3v1 tag; and an ID3v1.1 tag alone --------------------------------
f="$VORN_TEST_TMP/id3v2tool.mp3"
make_mp3 "$f"
id3v2 -a "A" -t "T" -A "Al" -y 1999 -T 3/10 -g 17 -c "com" "$f" >/dev/null || fail "id3v2 failed"
inspect_tags "$f" "$VORN_TEST_TMP/out_id3v2tool.txt"
expect_lines "$VORN_TEST_TMP/out_id3v2tool.txt" "meta album=Al
meta artist=A
meta comment=com
meta date=1999
meta genre=Rock
meta title=T
meta totaltracks=10
meta tracknumber=3
info tagtype=id3v2.3|id3v1" "id3v2 tool, 2.3 and ID3v1"

f="$VORN_TEST_TMP/id3v1.mp3"
make_mp3 "$f"
id3v2 -1 -a "Artist One" -t "Title One" -A "Album One" -y 2001 -T 7 -g 17 -c "c1" "$f" >/dev/null || fail "id3v2 -1 failed"
inspect_tags "$f" "$VORN_TEST_TMP/out_id3v1.txt"
expect_lines "$VORN_TEST_TMP/out_id3v1.txt" "meta title=Title One
meta artist=Artist One
meta album=Album One
meta date=2001
meta comment=c1
meta tracknumber=7
meta genre=Rock
info tagtype=id3v1" "ID3v1.1"

# --- eyeD3: 2.4, then its conversion to 2.3 ------------------------------------------------------------------
for version in 4 3; do
    f="$VORN_TEST_TMP/eyed3_$version.mp3"
    make_mp3 "$f"
    eyeD3 -Q -a A -t T -A Al -b AA -n 3 -N 10 -G Rock --recording-date 2004-05-06 -c "eye comment" \
          --user-text-frame "MOOD:calm" "$f" >/dev/null 2>&1 || fail "eyeD3 failed"
    [ "$version" = 3 ] && { eyeD3 -Q --to-v2.3 "$f" >/dev/null 2>&1 || fail "eyeD3 --to-v2.3 failed"; }
    inspect_tags "$f" "$VORN_TEST_TMP/out_eyed3_$version.txt"
    expect_lines "$VORN_TEST_TMP/out_eyed3_$version.txt" "meta album=Al
meta album artist=AA
meta artist=A
meta comment=eye comment
meta date=2004-05-06
meta genre=Rock
meta MOOD=calm
meta title=T
meta totaltracks=10
meta tracknumber=03
info tagtype=id3v2.$version" "eyeD3 2.$version"
done

# --- APEv2 with binary items, written by mutagen -----------------------------------------------------------
f="$VORN_TEST_TMP/ape.mp3"
make_mp3 "$f"
"$PY" - "$f" <<'EOF' || fail "mutagen APEv2 fixture"
import sys
from mutagen.apev2 import APEv2, APEValue, BINARY
a = APEv2()
a['Artist'] = ['A', 'B']
a['Title'] = 'Ape title'
a['Track'] = '3/10'
a['Year'] = '2004'
a['Cover Art (Front)'] = APEValue(b'cover.jpg\x00\xff\xd8\xff\xe0', BINARY)
a['replaygain_album_gain'] = '-3.00 dB'
a.save(sys.argv[1])
EOF
inspect_tags "$f" "$VORN_TEST_TMP/out_ape.txt"
expect_lines "$VORN_TEST_TMP/out_ape.txt" "meta Artist=A
meta Artist=B
meta date=2004
meta Title=Ape title
meta totaltracks=10
meta tracknumber=3
replaygain album_gain=-3.00 dB
info tagtype=apev2" "mutagen APEv2"

# --- hand-made: ID3v2.2, a 2.3 tag unsynchronised as a whole, 2.4 frames with data-length indicators ------
"$PY" - "$VORN_TEST_TMP" <<'EOF' || fail "hand-made fixtures"
import os, struct, sys
out = sys.argv[1]
audio = open(os.path.join(out, 'plain.mp3'), 'rb').read()

def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])

def unsync(data):
    res = bytearray()
    for i, c in enumerate(data):
        res.append(c)
        if c == 0xFF and (i + 1 == len(data) or data[i + 1] == 0 or data[i + 1] >= 0xE0):
            res.append(0)
    return bytes(res)

def utf16(text):
    return b'\x01\xff\xfe' + text.encode('utf-16-le') + b'\x00\x00'

# 2.2: three-character ids and sizes; ULT is not read.
def f22(fid, payload):
    return fid + struct.pack('>I', len(payload))[1:] + payload
body = (f22(b'TT2', b'\x00Old title\x00') + f22(b'TP1', b'\x00Old artist') + f22(b'TAL', utf16('\u00c5lbum')) +
        f22(b'TRK', b'\x005/12') + f22(b'TYE', b'\x001987') + f22(b'COM', b'\x00eng\x00two-two') +
        f22(b'ULT', b'\x00eng\x00lyrics') + f22(b'PIC', b'\x00JPG\x03\x00' + b'\xff\xd8\xff\xe0' * 8))
open(os.path.join(out, 'v22.mp3'), 'wb').write(b'ID3\x02\x00\x00' + syncsafe(len(body)) + body + audio)

# 2.3 with the whole tag unsynchronised: the frames' sizes count the bytes before unsynchronisation.
def f23(fid, payload):
    return fid + struct.pack('>IH', len(payload), 0) + payload
frames = f23(b'TIT2', utf16('\u00ff\u00e0 title')) + f23(b'TPE1', b'\x00Unsync') + \
         f23(b'APIC', b'\x00image/jpeg\x00\x03\x00' + b'\xff\xd8\xff\xe0\xff\x00' * 10)
body = unsync(frames)
open(os.path.join(out, 'unsync23.mp3'), 'wb').write(b'ID3\x03\x00\x80' + syncsafe(len(body)) + body + audio)

# 2.4 frames, unsynchronised one by one, with data-length indicators.
def f24(fid, payload, flags=0):
    if flags & 0x02:
        stored = syncsafe(len(payload)) + unsync(payload)
        flags |= 0x01
    else:
        stored = payload
    return fid + syncsafe(len(stored)) + bytes([0, flags]) + stored
body = f24(b'TIT2', utf16('\u00ff\u00e0 title'), 0x02) + f24(b'TPE1', b'\x03Frame unsync\x00') + \
       f24(b'TXXX', b'\x03MOOD\x00calm\x00', 0x02)
open(os.path.join(out, 'unsync24.mp3'), 'wb').write(b'ID3\x04\x00\x00' + syncsafe(len(body)) + body + audio)
EOF
inspect_tags "$VORN_TEST_TMP/v22.mp3" "$VORN_TEST_TMP/out_v22.txt"
expect_lines "$VORN_TEST_TMP/out_v22.txt" "meta album=Ålbum
meta artist=Old artist
meta comment=two-two
meta date=1987
meta title=Old title
meta totaltracks=12
meta tracknumber=5
info tagtype=id3v2.2" "ID3v2.2"
inspect_tags "$VORN_TEST_TMP/unsync23.mp3" "$VORN_TEST_TMP/out_unsync23.txt"
expect_lines "$VORN_TEST_TMP/out_unsync23.txt" "meta artist=Unsync
meta title=ÿà title
info tagtype=id3v2.3" "unsynchronised 2.3"
inspect_tags "$VORN_TEST_TMP/unsync24.mp3" "$VORN_TEST_TMP/out_unsync24.txt"
expect_lines "$VORN_TEST_TMP/out_unsync24.txt" "meta artist=Frame unsync
meta MOOD=calm
meta title=ÿà title
info tagtype=id3v2.4" "unsynchronised 2.4 frames"

# mutagen agrees with what was made by hand.
"$PY" - "$VORN_TEST_TMP" <<'EOF' || fail "mutagen disagrees with the hand-made fixtures"
import os, sys
from mutagen.id3 import ID3
d = sys.argv[1]
assert str(ID3(os.path.join(d, 'unsync23.mp3'))['TIT2']) == '\u00ff\u00e0 title'
assert str(ID3(os.path.join(d, 'unsync24.mp3'))['TIT2']) == '\u00ff\u00e0 title'
assert str(ID3(os.path.join(d, 'v22.mp3'))['TIT2']) == 'Old title'
EOF

# --- malformed tags: skipped, the file unchanged ------------------------------------------------------------
"$PY" - "$VORN_TEST_TMP" <<'EOF' || fail "malformed fixtures"
import os, struct, sys
out = sys.argv[1]
audio = open(os.path.join(out, 'plain.mp3'), 'rb').read()
def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
def f23(fid, payload, size=None):
    return fid + struct.pack('>IH', len(payload) if size is None else size, 0) + payload
apev2_footer = lambda size, count, flags: b'APETAGEX' + struct.pack('<IIII', 2000, size, count, flags) + b'\0' * 8
item = lambda key, value: struct.pack('<II', len(value), 0) + key + b'\0' + value
cases = {
    # a frame whose size runs past the end of the tag
    'frame_past_end': b'ID3\x03\x00\x00' + syncsafe(30) + f23(b'TIT2', b'\x00abc', size=1000) + b'\0' * 16,
    # a header size byte with bit 7 set: no tag at all
    'bad_syncsafe': b'ID3\x03\x00\x00\x00\x00\x80\x10' + f23(b'TIT2', b'\x00abc'),
    # the tag ends in the middle of a frame header
    'truncated_frame': b'ID3\x03\x00\x00' + syncsafe(15) + f23(b'TIT2', b'\x00abc') + b'TPE',
    # a header claiming more bytes than the file has
    'size_past_file': b'ID3\x04\x00\x00' + syncsafe(50000000) + f23(b'TIT2', b'\x00abc'),
    # 1025 strings in a frame: that frame is skipped, the others read
    'huge_string_count': f23(b'TXXX', b'\x00' + b'x\0' * 1025) + f23(b'TIT2', b'\x00kept') + b'\0' * 41,
}
cases['huge_string_count'] = b'ID3\x03\x00\x00' + syncsafe(len(cases['huge_string_count'])) + cases['huge_string_count']
for name, tag in cases.items():
    open(os.path.join(out, 'bad_' + name + '.mp3'), 'wb').write(tag + audio)
items = item(b'Title', b'one')
# an APE item count of 4 billion with one item
open(os.path.join(out, 'bad_huge_item_count.mp3'), 'wb').write(
    audio + items + apev2_footer(len(items) + 32, 0xFFFFFFFF, 0))
open(os.path.join(out, 'bad_ape_size.mp3'), 'wb').write(
    audio + items + apev2_footer(0x7FFFFFF0, 1, 0))
open(os.path.join(out, 'bad_ape_item_size.mp3'), 'wb').write(
    audio + struct.pack('<II', 0x7FFFFFFF, 0) + b'Title\0one' + apev2_footer(len(items) + 32, 1, 0))
EOF
# check_bad NAME EXPECTED_LINES ("" for none)
check_bad() {
    local f="$VORN_TEST_TMP/bad_$1.mp3" out="$VORN_TEST_TMP/out_bad_$1.txt"
    local md5_before
    md5_before=$(md5sum < "$f")
    inspect_tags "$f" "$out"
    if [ -z "$2" ]; then
        [ ! -s "$out" ] || { cat "$out" >&2; fail "$1: expected no fields"; }
    else
        expect_lines "$out" "$2" "malformed $1"
    fi
    expect_eq "$(md5sum < "$f")" "$md5_before" "reading changed bad_$1.mp3"
}
check_bad frame_past_end ""
check_bad bad_syncsafe ""
check_bad truncated_frame "meta title=abc
info tagtype=id3v2.3"
check_bad size_past_file ""
check_bad huge_string_count "meta title=kept
info tagtype=id3v2.3"
check_bad huge_item_count "meta Title=one
info tagtype=apev2"
check_bad ape_size ""
check_bad ape_item_size "info tagtype=apev2"

# Writing over a malformed leading tag fails with a message and leaves the file as it was.
f="$VORN_TEST_TMP/bad_frame_past_end.mp3"
md5_before=$(md5sum < "$f")
if wine "$VORN_INSPECT" tags-write "$f" title=x --id3v2 > /dev/null 2> "$VORN_TEST_TMP/bad_write.err"; then
    fail "writing over a malformed tag succeeded"
fi
[ -s "$VORN_TEST_TMP/bad_write.err" ] || fail "no error text for the malformed tag"
expect_eq "$(md5sum < "$f")" "$md5_before" "a failed write changed the file"
[ -z "$(ls "$VORN_TEST_TMP" | grep '^temp-')" ] || fail "a temporary file was left behind"
