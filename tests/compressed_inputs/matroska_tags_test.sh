# Matroska tags both ways: mkvmerge's --global-tags and --tags read with their levels, the tool's `write` shown by
# mkvextract and mkvinfo with the writing table's names and levels, untouched SimpleTags and track-aimed Tags kept
# byte for byte; rewritten files pass mkvmerge and ffprobe and decode as before; covers attached with
# --attach-file come back byte-identical; a file that cannot be retagged is left as it was.
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
for tool in mkvmerge mkvextract mkvinfo mkvpropedit ffprobe flac; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

source_wav s44 44100 2 3
flac -s -f s44.wav -o s44.flac
cat > global.xml <<'XML'
<?xml version="1.0"?>
<Tags>
  <Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>
    <Simple><Name>TITLE</Name><String>The Album</String></Simple>
    <Simple><Name>ARTIST</Name><String>The Band</String></Simple>
    <Simple><Name>TOTAL_PARTS</Name><String>12</String></Simple>
    <Simple><Name>DATE_RECORDED</Name><String>1999</String></Simple>
  </Tag>
  <Tag><Targets><TargetTypeValue>60</TargetTypeValue></Targets>
    <Simple><Name>TOTAL_PARTS</Name><String>2</String></Simple>
  </Tag>
  <Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
    <Simple><Name>TITLE</Name><String>Song</String></Simple>
    <Simple><Name>GENRE</Name><String>Rock</String><TagLanguage>ger</TagLanguage></Simple>
    <Simple><Name>PART_NUMBER</Name><String>3</String></Simple>
  </Tag>
</Tags>
XML
cat > track.xml <<'XML'
<?xml version="1.0"?>
<Tags><Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
  <Simple><Name>ENCODER_SETTINGS</Name><String>aimed at the track</String></Simple>
</Tag></Tags>
XML
python3 -c 'import os; open("cover.jpg", "wb").write(b"\xff\xd8\xff\xe0" + os.urandom(3000) + b"\xff\xd9")'
python3 -c 'import os; open("disc.png", "wb").write(b"\x89PNG\r\n\x1a\n" + os.urandom(500))'
mkvmerge -q -o tagged.mka --global-tags global.xml --tags 0:track.xml \
  --attachment-mime-type image/jpeg --attach-file cover.jpg --attachment-mime-type image/png --attach-file disc.png \
  s44.flac

# Reading: the levels decide the names; track-aimed Tags (also mkvmerge's statistics) are not shown.
inspect info "$PWD/tagged.mka" > info.txt || { cat err.txt >&2; fail "info"; }
for line in "meta album=The Album" "meta album artist=The Band" "meta totaltracks=12" "meta totaldiscs=2" \
            "meta date=1999" "meta title=Song" "meta GENRE=Rock" "meta tracknumber=3" "info codec=FLAC"; do
  expect_contains info.txt "$line"
done
grep -q "ENCODER_SETTINGS\|BPS\|DURATION" info.txt && fail "track-aimed tags shown"

# Covers from the attachments, byte for byte.
inspect art "$PWD/tagged.mka" front "$PWD/front.out" > /dev/null || { cat err.txt >&2; fail "art front"; }
cmp -s front.out cover.jpg || fail "the front cover differs"
inspect art "$PWD/tagged.mka" back "$PWD/back.out" > /dev/null && fail "a back cover was found"
expect_contains err.txt "Attached picture not found"

# Writing: changed fields new, unchanged ones and track-aimed Tags as stored.
decode tagged.mka before.pcm
mkvextract -q tagged.mka tags old-tags.xml
cp tagged.mka written.mka
inspect write "$PWD/written.mka" "title=New Title" "artist=Solo" "date=2001" > /dev/null || { cat err.txt >&2; fail "write"; }
mkvmerge -i written.mka > identify.txt || { cat identify.txt >&2; fail "mkvmerge -i after the write"; }
expect_contains identify.txt "Attachment ID 1"
ffprobe -v error written.mka || fail "ffprobe after the write"
decode written.mka after.pcm
cmp -s before.pcm after.pcm || fail "the audio changed"
mkvextract -q written.mka tags new-tags.xml
"$PY" - old-tags.xml new-tags.xml <<'PY' || fail "the rewritten tags"
import sys, xml.etree.ElementTree as ET
def tags(path):
    out = []
    for tag in ET.parse(path).getroot():
        targets = tag.find("Targets")
        level = targets.findtext("TargetTypeValue") if targets is not None else None
        track = targets.findtext("TrackUID") if targets is not None else None
        for simple in tag.findall("Simple"):
            simple.tail = None
            out.append((level, track, ET.tostring(simple)))
    return out
old, new = tags(sys.argv[1]), tags(sys.argv[2])
def find(entries, name):
    return [e for e in entries if ET.fromstring(e[2]).findtext("Name") == name]
def check(what, ok):
    if not ok:
        sys.exit(what)
# New values under the writing table's names and levels, with the program's language and default flag.
check("TITLE 30", any(e[0] == "30" and ET.fromstring(e[2]).findtext("String") == "New Title" for e in find(new, "TITLE")))
check("ARTIST 30", any(e[0] == "30" and ET.fromstring(e[2]).findtext("String") == "Solo" for e in find(new, "ARTIST")))
check("DATE_RECORDED 50", [e[0] for e in find(new, "DATE_RECORDED")] == ["50"])
check("new SimpleTag language", ET.fromstring(find(new, "DATE_RECORDED")[0][2]).findtext("TagLanguage") == "und")
# Untouched ones as they were (the album's ARTIST is "album artist", kept).
for name in ("GENRE", "PART_NUMBER"):
    check(name + " kept", [e[2] for e in find(new, name)] == [e[2] for e in find(old, name)])
check("album artist kept", any(e[0] == "50" and ET.fromstring(e[2]).findtext("String") == "The Band" for e in find(new, "ARTIST")))
# Track-aimed SimpleTags (ours and mkvmerge's statistics) byte for byte, each still aimed at its track (their Tags
# are rebuilt in name order).
check("track tags kept", sorted((e[1], e[2]) for e in new if e[1]) == sorted((e[1], e[2]) for e in old if e[1]))
PY
inspect info "$PWD/written.mka" > info2.txt || { cat err.txt >&2; fail "info after the write"; }
for line in "meta title=New Title" "meta artist=Solo" "meta date=2001" "meta album artist=The Band" "meta GENRE=Rock"; do
  expect_contains info2.txt "$line"
done
mkvinfo written.mka > mkvinfo.txt || fail "mkvinfo after the write"
inspect art "$PWD/written.mka" front "$PWD/front2.out" > /dev/null || { cat err.txt >&2; fail "art after the write"; }
cmp -s front2.out cover.jpg || fail "the cover changed"

# A second, smaller write goes where the Tags are now (at the Segment's end: the file ends right after them).
size=$(stat -c %s written.mka)
inspect write "$PWD/written.mka" "title=T" > /dev/null || { cat err.txt >&2; fail "second write"; }
[ "$(stat -c %s written.mka)" -lt "$size" ] || fail "a smaller write made the file longer"
mkvmerge -i written.mka > /dev/null || fail "mkvmerge -i after the second write"

# Chapters: per-chapter titles written and read back; mkvextract shows them aimed at the chapters.
printf 'CHAPTER01=00:00:00.000\nCHAPTER01NAME=One\nCHAPTER02=00:00:01.500\nCHAPTER02NAME=Two\n' > chapters.txt
mkvmerge -q -o chapters.mka --chapters chapters.txt s44.flac
inspect info "$PWD/chapters.mka" > info3.txt || { cat err.txt >&2; fail "info chapters"; }
expect_contains info3.txt "meta title=One"
inspect write "$PWD/chapters.mka" "title=Second chapter" --subsong 2 > /dev/null || { cat err.txt >&2; fail "write chapter"; }
inspect info "$PWD/chapters.mka" > info4.txt || { cat err.txt >&2; fail "info chapters after"; }
expect_contains info4.txt "meta title=One"
expect_contains info4.txt "meta title=Second chapter"
mkvextract -q chapters.mka tags chapter-tags.xml
expect_contains chapter-tags.xml "<ChapterUID>"

# Not retaggable (data after the Segment, no room inside it): refused, the file left as it was.
mkvmerge -q -o plain.mka --disable-track-statistics-tags --no-global-tags s44.flac
printf '\xec\x85trail' >> plain.mka
cp plain.mka plain.orig
rc=0
inspect write "$PWD/plain.mka" "title=Never" > /dev/null || rc=$?
[ "$rc" -ne 0 ] || fail "a file with data after the Segment was appended to"
expect_contains err.txt "File can't be retagged, please re-mux it with up-to-date Matroska tools"
cmp -s plain.mka plain.orig || fail "a refused write changed the file"
true
