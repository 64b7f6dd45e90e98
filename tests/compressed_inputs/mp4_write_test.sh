# MP4 tag writing through input probing on files with the movie box at the end, at the start (faststart) and
# made by AtomicParsley: mutagen and AtomicParsley read the new items, covers, freeform and unknown items survive,
# the media data and ffmpeg's decode do not change, ffprobe accepts the file; per-chapter edits, the compilation
# flag, a trailing ID3v1 block and a failed write.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mp4_fixtures.sh"

# write FILE FIELD=VALUE... [--subsong N]
write() {
  local file=$1; shift
  inspect write "$PWD/$file" "$@" > write.out || { cat err.txt >&2; fail "write $file $*"; }
}

# mdat_md5 FILE: md5 of the media data box's payload.
mdat_md5() {
  "$PY" - "$1" <<'PY'
import hashlib, sys
d = open(sys.argv[1], "rb").read(); i = 0
while i + 8 <= len(d):
    n = int.from_bytes(d[i:i + 4], "big"); t = d[i + 4:i + 8]
    if n == 1: n = int.from_bytes(d[i + 8:i + 16], "big")
    if t == b"mdat": print(hashlib.md5(d[i + 8:i + n]).hexdigest()); break
    i += n
PY
}

# top_boxes FILE: the top-level box types.
top_boxes() {
  "$PY" - "$1" <<'PY'
import sys
d = open(sys.argv[1], "rb").read(); i = 0; out = []
while i + 8 <= len(d):
    n = int.from_bytes(d[i:i + 4], "big"); out.append(d[i + 4:i + 8].decode("latin-1"))
    if n == 1: n = int.from_bytes(d[i + 8:i + 16], "big")
    if n < 8: break
    i += n
print(" ".join(out))
PY
}

audio_md5() { ffmpeg -nostdin -v error -i "$1" -map 0:a -f md5 - ; }

# The items mutagen sees, in a stable text form.
items() {
  "$PY" - "$1" <<'PY'
import sys, mutagen.mp4
f = mutagen.mp4.MP4(sys.argv[1])
for k in sorted(f.tags.keys()):
    v = f.tags[k]
    if k == "covr": v = [bytes(x).hex() for x in v]
    elif k.startswith("----"): v = [bytes(x).decode() for x in v]
    print("%s=%r" % (k, v))
PY
}

source_wav st 44100 2
ffmpeg -nostdin -v error -y -i st.wav -c:a aac -b:a 96k -metadata title=Old -metadata artist=Ar end.m4a || fail "ffmpeg"
ffmpeg -nostdin -v error -y -i st.wav -c:a aac -b:a 96k -metadata title=Old -metadata artist=Ar \
  -movflags +faststart fast.m4a || fail "ffmpeg faststart"
ffmpeg -nostdin -v error -y -i st.wav -c:a alac ap.m4a || fail "ffmpeg alac"
AtomicParsley ap.m4a --title Old --artist Ar --overWrite > /dev/null || fail "AtomicParsley"

ffmpeg -nostdin -v error -y -f lavfi -i color=c=red:s=8x8 -frames:v 1 cover.jpg || fail "ffmpeg cover"
for f in end fast ap; do
  "$PY" - "$f.m4a" <<'PY'
import sys, mutagen.mp4 as m
f = m.MP4(sys.argv[1])
f["----:com.apple.iTunes:MyFree"] = [m.MP4FreeForm(b"free value")]
f["covr"] = [m.MP4Cover(open("cover.jpg", "rb").read(), imageformat=m.MP4Cover.FORMAT_JPEG)]
f["xid "] = ["an unknown item"]
f["trkn"] = [(3, 12)]
f.save()
PY
  before_items=$(items "$f.m4a" | grep -v -e '^©nam' -e '^©alb')
  before_mdat=$(mdat_md5 "$f.m4a")
  before_audio=$(audio_md5 "$f.m4a")
  write "$f.m4a" "title=New Title" "album=Al"
  items "$f.m4a" > items.txt
  expect_contains items.txt "©nam=['New Title']"
  expect_contains items.txt "©alb=['Al']"
  expect_eq "$(grep -v -e '^©nam' -e '^©alb' items.txt)" "$before_items" "$f: other items"
  expect_eq "$(mdat_md5 "$f.m4a")" "$before_mdat" "$f: media data"
  expect_eq "$(audio_md5 "$f.m4a")" "$before_audio" "$f: decoded audio"
  ffprobe -v error "$f.m4a" > probe.txt 2>&1 || { cat probe.txt >&2; fail "$f: ffprobe"; }
  [ ! -s probe.txt ] || { cat probe.txt >&2; fail "$f: ffprobe complains"; }
  AtomicParsley "$f.m4a" -t > ap.txt 2>&1 || fail "$f: AtomicParsley"
  expect_contains ap.txt "contains: New Title"
  expect_contains ap.txt "contains: 3 of 12"
  # A second write, now that a faststart file has its movie box at the end.
  write "$f.m4a" "title=Second"
  expect_contains <(items "$f.m4a") "©nam=['Second']"
  expect_eq "$(audio_md5 "$f.m4a")" "$before_audio" "$f: decoded audio after two writes"
done
expect_eq "$(top_boxes fast.m4a)" "ftyp free free mdat moov" "faststart: boxes after two writes"
expect_eq "$(top_boxes end.m4a)" "ftyp free mdat moov" "moov at the end: boxes after two writes"

# No album-art reader: pictures are kept for the retag only.
inspect art "$PWD/fast.m4a" front "$PWD/cover.out" > /dev/null && fail "a picture was read from MP4"

# Per-chapter edits write the tags box and read back; the others stay.
printf ';FFMETADATA1\nalbum=Book\n' > chapters.txt
for c in "0 800 One" "800 1500 Two" "1500 2300 Three"; do
  set -- $c
  printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%s\nEND=%s\ntitle=%s\n' "$1" "$2" "$3" >> chapters.txt
done
ffmpeg -nostdin -v error -y -i st.wav -i chapters.txt -map 0:a -map_metadata 1 -map_chapters 1 -c:a alac book.m4a
write book.m4a "title=Second chapter" --subsong 2
inspect info "$PWD/book.m4a" > info.txt || { cat err.txt >&2; fail "info book"; }
expect_eq "$(grep -c '^subsong' info.txt)" 3 "chapters after the write"
expect_contains info.txt "meta title=Second chapter"
expect_contains info.txt "meta title=One"
expect_contains info.txt "meta title=Three"
grep -q tseg book.m4a || fail "no tags box written"

# A compilation without an album artist: the shown "Various Artists" is not written; the flag stays.
"$PY" -c 'import sys, mutagen.mp4 as m; f = m.MP4(sys.argv[1]); f["cpil"] = True; f.save()' end.m4a
inspect info "$PWD/end.m4a" > info.txt
expect_contains info.txt "meta album artist=Various Artists"
write end.m4a "title=Comp"
items end.m4a > items.txt
expect_contains items.txt "cpil=True"
grep -q "^aART" items.txt && fail "the shown album artist was written"

# A trailing ID3v1 block is removed at commit.
cp fast.m4a id3.m4a
size=$(stat -c %s id3.m4a)
printf 'TAG%125s' "" >> id3.m4a
write id3.m4a "title=No tag"
expect_eq "$(tail -c 128 id3.m4a | head -c 3)" "$(tail -c 128 fast.m4a | head -c 3)" "the ID3v1 block removed"
expect_contains <(items id3.m4a) "©nam=['No tag']"

# A failed write leaves the file as it was: a movie box with a 64-bit size is refused before anything is written.
"$PY" - fast.m4a big.m4a <<'PY'
import sys
d = open(sys.argv[1], "rb").read()
i = d.index(b"moov") - 4
n = int.from_bytes(d[i:i + 4], "big")
d = d[:i] + (1).to_bytes(4, "big") + b"moov" + (n + 8).to_bytes(8, "big") + d[i + 8:i + n] + d[i + n:]
# Chunk offsets after the movie box move by 8: rebuilt with ffmpeg would be simpler, but only the tags matter here.
open(sys.argv[2], "wb").write(d)
PY
cp big.m4a big0.m4a
inspect write "$PWD/big.m4a" "title=x" > write.out && fail "a movie box with a 64-bit size was rewritten"
cmp -s big.m4a big0.m4a || fail "a failed write changed the file"
