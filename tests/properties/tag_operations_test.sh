# The tag operations end to end through vorn-inspect (the program's service, its progress window and the
# real inputs): updating tags over many files of every lossless kind, failures and their report, files
# held open by another program, Abort between files, and removing tags. Fixtures are made here; results
# are checked with mutagen, ffprobe, flac and ffmpeg. Every run passes --flags 2 (the progress window never
# takes the keyboard focus from window tests running beside this one).
command -v ffprobe >/dev/null || fail "ffprobe is not installed"
for tool in oggenc opusenc wavpack mpcenc; do command -v $tool >/dev/null || fail "$tool is not installed"; done
PY=/usr/bin/python3   # Debian's interpreter, the one python3-mutagen belongs to
"$PY" -c 'import mutagen' 2>/dev/null || fail "python3-mutagen is not installed"
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

audio_md5() { ffmpeg -v error -i "$1" -map 0:a -f md5 - 2>/dev/null; }
# The values of a field as mutagen reads them, joined by "|".
field() {
  "$PY" -c '
import mutagen, sys
f = mutagen.File(sys.argv[1])
for key in (f.tags or {}).keys():
    if key.lower() == sys.argv[2]:
        v = f.tags[key]
        v = list(v) if isinstance(v, list) else (str(v).split("\x00") if v is not None else [])
        print("|".join(str(x) for x in v)); break' "$1" "$2"
}
probe_tag() { ffprobe -v error -show_entries format_tags="$2" -of default=nw=1:nk=1 "$1"; }
stamp() { stat -c '%s %y' "$1"; md5sum < "$1"; }

sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 1.5 sine 300-2000 whitenoise vol 0.5 || fail "sox"
flac -s -f src.wav -o base.flac && metaflac --set-tag=ARTIST=A --set-tag=ARTIST=B --set-tag=TITLE=Song \
  --set-tag=COMMENT=old --set-tag=GENRE=Jazz base.flac || fail "flac fixture"
oggenc -Q -c ARTIST=A -c ARTIST=B -t Song -c COMMENT=old -G Jazz src.wav -o base.ogg || fail "oggenc"
opusenc --quiet --artist A --artist B --title Song --comment COMMENT=old --genre Jazz src.wav base.opus || fail "opusenc"
wavpack -q -y src.wav -o base.wv || fail "wavpack"
mpcenc --silent src.wav base.mpc 2>/dev/null || fail "mpcenc"
"$PY" -c '
from mutagen.apev2 import APEv2
import sys
for f in sys.argv[1:]:
    t = APEv2(); t["Artist"] = ["A", "B"]; t["Title"] = "Song"; t["Comment"] = "old"; t["Genre"] = "Jazz"; t.save(f)' \
  base.wv base.mpc || fail "APEv2 fixtures"
ffmpeg -v error -y -i src.wav -c copy -metadata title=Song -metadata artist=A -metadata comment=old \
  -metadata genre=Jazz base.wav || fail "ffmpeg WAV fixture"

# --- tag-update over 24 mixed files ---------------------------------------------------------------------------
files=()
for kind in flac ogg opus wv mpc wav; do
  for n in 1 2 3 4; do cp "base.$kind" "u$n.$kind"; files+=("$PWD/u$n.$kind"); done
done
declare -A before_md5
for f in "${files[@]}"; do before_md5[$f]=$(audio_md5 "$f"); done
inspect tag-update "${files[@]}" --set "album=New Album" --set genre=G1 --set genre=G2 --set comment= --flags 2 \
  > update.txt || { cat err.txt >&2; fail "tag-update"; }
expect_eq "$(grep -c '^broadcast ' update.txt)" 1 "one broadcast"
expect_contains update.txt "broadcast 0 24"
expect_contains update.txt "completion 0"
grep -q '^report ' update.txt && fail "a report for an update without failures"
for f in "${files[@]}"; do
  win=$(winpath "$f")
  expect_eq "$(grep -cxF "changed 0 1.500 $win" update.txt)" 1 "one changed line with the length for $f"
  expect_eq "$(audio_md5 "$f")" "${before_md5[$f]}" "audio of $f"
  case $f in
    *.wav) for pair in "album=New Album" "comment=" "title=Song" "artist=A"; do
             expect_eq "$(probe_tag "$f" "${pair%%=*}")" "${pair#*=}" "ffprobe ${pair%%=*} of $f"
           done ;;
    *) expect_eq "$(field "$f" album)" "New Album" "album of $f"
       expect_eq "$(field "$f" comment)" "" "comment removed from $f"
       expect_eq "$(field "$f" title)" "Song" "title kept in $f"
       expect_eq "$(field "$f" genre)" "G1|G2" "genre values of $f"
       expect_eq "$(field "$f" artist)" "A|B" "artist values kept in $f" ;;
  esac
done
expect_eq "$(grep -cxF 'browse artist=A; B' update.txt)" 20 "two artists joined in the browse record"
expect_eq "$(grep -cxF 'browse album=New Album' update.txt)" 24 "browse album"
for f in u1.flac u2.flac u3.flac u4.flac; do flac -t -s "$f" || fail "flac -t $f"; done

# The same update again changes no byte and no time stamp.
for f in "${files[@]}"; do stamp "$f" > "$f.stamp"; done
sleep 1.1
inspect tag-update "${files[@]}" --set "album=New Album" --set genre=G1 --set genre=G2 --set comment= --flags 2 \
  > again.txt || { cat err.txt >&2; fail "second tag-update"; }
expect_contains again.txt "completion 0"
for f in "${files[@]}"; do
  [ "$(stamp "$f")" == "$(cat "$f.stamp")" ] || fail "the second identical update touched $f"
done

# --- failures: missing, truncated, unsupported, a path listed twice -------------------------------------------
cp base.flac ok.flac
head -c 100 base.flac > trunc.flac
echo text > plain.txt
inspect tag-update "$PWD/missing.flac" "$PWD/trunc.flac" "$PWD/plain.txt" "$PWD/ok.flac" "$PWD/missing.flac" \
  --set album=X --flags 2 > fail.txt || { cat err.txt >&2; fail "tag-update with failures"; }
printf 'completion 2\nreport Information\n%s' \
  "Could not write information (Object not found) to:"$'\r\n'"\"$(winpath "$PWD/missing.flac")\""$'\r\n\r\n'\
"Could not write information (Object not found) to:"$'\r\n'"\"$(winpath "$PWD/missing.flac")\""$'\r\n\r\n'\
"Could not write information (Unsupported file format) to:"$'\r\n'"\"$(winpath "$PWD/plain.txt")\""$'\r\n\r\n'\
"Could not write information (Unsupported format or corrupted file) to:"$'\r\n'"\"$(winpath "$PWD/trunc.flac")\""$'\r\n\r\n' \
  > fail.expected
sed -n '/^completion/,$p' fail.txt > fail.tail
cmp -s fail.tail fail.expected || { diff <(od -c fail.expected) <(od -c fail.tail) >&2; fail "the failure report"; }
expect_eq "$(field ok.flac album)" "X" "the good file beside the failures was written"
inspect tag-update "$PWD/missing.flac" "$PWD/ok.flac" --set album=Y --flags 3 > quiet.txt || fail "tag-update --flags 3"
expect_contains quiet.txt "completion 2"
grep -q '^report' quiet.txt && fail "flag 1 showed the report"

# --- a file held open by another program ----------------------------------------------------------------------
cp base.flac h1.flac; cp base.flac h2.flac
inspect tag-update "$PWD/h1.flac" "$PWD/h2.flac" --set album=Held --hold "$PWD/h2.flac" --hold-for 0.2 --flags 2 \
  > hold_short.txt || fail "tag-update with a short hold"
expect_contains hold_short.txt "completion 0"
expect_eq "$(field h2.flac album)" "Held" "a file released within 0.5 s is written"
cp base.flac h1.flac; cp base.flac h2.flac
inspect tag-update "$PWD/h1.flac" "$PWD/h2.flac" --set album=Held --hold "$PWD/h2.flac" --hold-for 3 --flags 2 \
  > hold_long.txt || fail "tag-update with a long hold"
expect_contains hold_long.txt "completion 2"
expect_contains hold_long.txt "Could not write information (File is already in use) to:"
expect_eq "$(grep -c '^Could not' hold_long.txt)" 1 "only the held file failed"
expect_eq "$(field h1.flac album)" "Held" "the other file is written"
cmp -s h2.flac base.flac || fail "the held file changed"

# Removing tags waits for a short hold in the same way.
cp base.wv h3.wv
inspect tag-remove "$PWD/h3.wv" --hold "$PWD/h3.wv" --hold-for 0.2 --flags 2 > hold_remove.txt || fail "tag-remove with a short hold"
expect_contains hold_remove.txt "completion 0"
tail -c 32 h3.wv | grep -q APETAGEX && fail "the APEv2 tag of a briefly held file is left"

# --- Abort after the first of four files -----------------------------------------------------------------------
for n in 1 2 3 4; do cp base.flac "ab$n.flac"; done
inspect tag-update "$PWD/ab1.flac" "$PWD/ab2.flac" "$PWD/ab3.flac" "$PWD/ab4.flac" --set album=Aborted \
  --abort-after 1 --flags 2 > abort.txt || fail "tag-update --abort-after 1"
expect_contains abort.txt "completion 1"
expect_contains abort.txt "broadcast 0 1"
expect_contains abort.txt "changed 0 1.500 $(winpath "$PWD/ab1.flac")"
expect_eq "$(field ab1.flac album)" "Aborted" "the first file was written"
for n in 2 3 4; do cmp -s "ab$n.flac" base.flac || fail "ab$n.flac changed after the abort"; done
flac -t -s ab1.flac || fail "the written file is not valid"

# --- tag-remove ------------------------------------------------------------------------------------------------
cp base.wv r.wv; cp base.mpc r.mpc; cp base.wav r.wav
"$PY" -c '
import mutagen.wave, mutagen.id3, sys
w = mutagen.wave.WAVE(sys.argv[1]); w.add_tags(); w.tags.add(mutagen.id3.TIT2(encoding=3, text="Id3 title")); w.save()' r.wav
"$PY" -c '
import sys
body = open(sys.argv[1], "rb").read()
frame = b"TIT2" + (6).to_bytes(4, "big") + b"\x00\x00" + b"\x03Hello"
ss = lambda n: bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])
open(sys.argv[2], "wb").write(b"ID3\x03\x00\x00" + ss(len(frame)) + frame + body)' base.flac r.flac
# A WAV whose audio ends in bytes that start with "TAG" but are no ID3v1 tag.
"$PY" -c '
import sys
d = bytearray(open(sys.argv[1], "rb").read()); d[-128:-125] = b"TAG"; open(sys.argv[2], "wb").write(bytes(d))' src.wav fake.wav
cp fake.wav fake.orig
data_chunk r.wav r_before.pcm
flac_md5=$(audio_md5 base.flac); wv_md5=$(audio_md5 r.wv); mpc_md5=$(audio_md5 r.mpc)
inspect tag-remove "$PWD/r.wv" "$PWD/r.mpc" "$PWD/r.wav" "$PWD/r.flac" "$PWD/fake.wav" --flags 2 > remove.txt \
  || { cat err.txt >&2; fail "tag-remove"; }
expect_contains remove.txt "broadcast 0 5"
expect_contains remove.txt "completion 0"
for f in r.wv r.mpc; do
  tail -c 32 "$f" | grep -q APETAGEX && fail "an APEv2 tag is left in $f"
  expect_eq "$(field "$f" title)" "" "no title in $f"
done
expect_eq "$(audio_md5 r.wv)" "$wv_md5" "WavPack audio after removal"
expect_eq "$(audio_md5 r.mpc)" "$mpc_md5" "Musepack audio after removal"
expect_eq "$(head -c 4 r.flac)" "fLaC" "the FLAC file starts with its own marker"
expect_eq "$(metaflac --export-tags-to=- r.flac)" "" "no comments left in the FLAC file"
flac -t -s r.flac || fail "the FLAC file is not valid after removal"
expect_eq "$(audio_md5 r.flac)" "$flac_md5" "FLAC audio after removal"
"$PY" -c '
import struct, sys
d = open(sys.argv[1], "rb").read(); o = 12
while o + 8 <= len(d):
    cid = d[o:o+4]; size = struct.unpack("<I", d[o+4:o+8])[0]
    if cid in (b"LIST", b"id3 ", b"ID3 "): sys.exit("chunk %r left" % cid)
    o += 8 + size + (size & 1)' r.wav || fail "tag chunks left in the WAV file"
expect_eq "$(probe_tag r.wav title)" "" "ffprobe title after removal"
data_chunk r.wav r_after.pcm
cmp -s r_before.pcm r_after.pcm || fail "WAV audio changed by the removal"
expect_eq "$(tail -c 128 fake.wav | md5sum)" "$(tail -c 128 fake.orig | md5sum)" "the fake TAG block is kept"
data_chunk fake.wav fake_after.pcm; data_chunk fake.orig fake_before.pcm
cmp -s fake_after.pcm fake_before.pcm || fail "the audio ending in TAG was cut"

# --- tag-load ------------------------------------------------------------------------------------------------------
inspect tag-load "$PWD/u1.flac" "$PWD/missing.flac" --flags 2 > load.txt || fail "tag-load"
expect_contains load.txt "broadcast 0 1"
expect_contains load.txt "browse album=New Album"
expect_contains load.txt "completion 2"
expect_contains load.txt "Could not load information (Object not found) from:"
