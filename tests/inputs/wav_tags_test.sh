# WAVE tags through input probing: tags written by the program are read by ffprobe and mutagen with the
# samples untouched; ffmpeg's LIST INFO and mutagen's "id3 " tags are read by the program; RIFF sizes of 0 or
# too small keep all audio; Wave64 refuses a writer; a failed write changes nothing.
command -v ffprobe >/dev/null || fail "ffprobe is not installed"
PY=/usr/bin/python3   # Debian's interpreter, the one python3-mutagen belongs to
"$PY" -c 'import mutagen' 2>/dev/null || fail "python3-mutagen is not installed"
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 0.5 sine 440 whitenoise vol 0.5 || fail "sox"
data_chunk src.wav src.pcm

probe_tag() {  # probe_tag FILE NAME: the tag's value as ffprobe reads it
  ffprobe -v error -show_entries format_tags="$2" -of default=nw=1:nk=1 "$1"
}

# Written by us: ffprobe reads LIST INFO (and id3), mutagen reads the ID3v2 tag; the data chunk is the same.
cp src.wav ours.wav
inspect write "$PWD/ours.wav" "title=Hello there" artist=Someone album=Record || { cat err.txt >&2; fail "write"; }
expect_eq "$(probe_tag ours.wav title)" "Hello there" "ffprobe title"
expect_eq "$(probe_tag ours.wav artist)" "Someone" "ffprobe artist"
expect_eq "$("$PY" -c 'import mutagen.wave,sys; t=mutagen.wave.WAVE(sys.argv[1]).tags; print(t["TIT2"].text[0], "/", t["TALB"].text[0])' ours.wav)" \
  "Hello there / Record" "mutagen ID3 frames"
data_chunk ours.wav ours.pcm
cmp -s ours.pcm src.pcm || fail "the data chunk changed"
sox -V1 ours.wav -t raw soxed.raw && cmp -s soxed.raw src.pcm || fail "sox reads other samples after the write"
inspect info "$PWD/ours.wav" > info.txt || { cat err.txt >&2; fail "info ours"; }
grep -qiF "meta title=Hello there" info.txt || { cat info.txt >&2; fail "our title not read back"; }

# Rewritten with a shorter title, then removed: the file does not grow without end, and stays readable.
size_before=$(stat -c %s ours.wav)
inspect write "$PWD/ours.wav" title=Hi || { cat err.txt >&2; fail "rewrite"; }
expect_eq "$(probe_tag ours.wav title)" "Hi" "ffprobe title after the rewrite"
[ "$(stat -c %s ours.wav)" -le "$size_before" ] || fail "a shorter tag made the file grow"
inspect write "$PWD/ours.wav" title= artist= album= || { cat err.txt >&2; fail "removing fields"; }
expect_eq "$(probe_tag ours.wav title)" "" "ffprobe title after removal"
data_chunk ours.wav ours.pcm
cmp -s ours.pcm src.pcm || fail "the data chunk changed after removal"

# Written by ffmpeg (LIST INFO) and by mutagen (an "id3 " chunk): read by us.
ffmpeg -v error -y -i src.wav -c copy -metadata title="From ffmpeg" -metadata artist=FF ff.wav || fail "ffmpeg tags"
inspect info "$PWD/ff.wav" > info.txt || { cat err.txt >&2; fail "info ff"; }
grep -qiF "meta title=From ffmpeg" info.txt || { cat info.txt >&2; fail "ffmpeg's title not read"; }
grep -qiF "meta artist=FF" info.txt || { cat info.txt >&2; fail "ffmpeg's artist not read"; }
cp src.wav mu.wav
"$PY" -c '
import mutagen.wave, mutagen.id3, sys
w = mutagen.wave.WAVE(sys.argv[1]); w.add_tags()
w.tags.add(mutagen.id3.TIT2(encoding=3, text="From mutagen \u00e9")); w.save()' mu.wav || fail "mutagen tags"
inspect info "$PWD/mu.wav" > info.txt || { cat err.txt >&2; fail "info mu"; }
grep -qiF "meta title=From mutagen é" info.txt || { cat info.txt >&2; fail "mutagen's title not read"; }

# Size fields that disagree with the file: 0 (never filled in) and one that ends inside the data.
for size in 0 100; do
  cp src.wav "riff$size.wav"
  "$PY" -c 'import struct,sys; f=open(sys.argv[1],"r+b"); f.seek(4); f.write(struct.pack("<I", int(sys.argv[2])))' "riff$size.wav" "$size"
  inspect write "$PWD/riff$size.wav" title=Kept || { cat err.txt >&2; fail "write with RIFF size $size"; }
  data_chunk "riff$size.wav" "riff$size.pcm"
  cmp -s "riff$size.pcm" src.pcm || fail "RIFF size $size: audio lost by the tag write"
  expect_eq "$(probe_tag "riff$size.wav" title)" "Kept" "ffprobe title, RIFF size $size"
  expect_eq "$(od -An -tu4 -j4 -N4 "riff$size.wav" | tr -d ' ')" $(( $(stat -c %s "riff$size.wav") - 8 )) "RIFF size after the write"
done

# A RIFF size beyond the file (a cut-off copy): the write fails and the file is untouched.
head -c 50000 src.wav > cut.wav
cp cut.wav cut.orig
if inspect write "$PWD/cut.wav" title=No; then fail "a tag write on a cut-off file succeeded"; fi
expect_error "Unsupported format or corrupted file" exception_io_data
cmp -s cut.wav cut.orig || fail "the failed write changed the file"

# Wave64 and RF64 refuse tag writing.
sox -V1 src.wav src.w64
cp src.w64 w64.orig
if inspect write "$PWD/src.w64" title=No; then fail "a Wave64 file took tags"; fi
expect_error "Tagging of this file format is not supported" exception_io_data
cmp -s src.w64 w64.orig || fail "the refused write changed the Wave64 file"
