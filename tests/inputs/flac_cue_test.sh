# Cue sheets inside FLAC files, from a CUESHEET block (flac --cuesheet) and from a "cuesheet" comment
# (metaflac): one subsong per track with the right lengths, each subsong's audio exactly its stretch of
# the whole file, and edits of one subsong written back as the sheet and per-track override fields that
# read back the same in a new process.
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

make_flac disc 44100 16 2 10
flac -s -d -f disc.flac -o disc.ref.wav && data_chunk disc.ref.wav disc.ref.pcm
frame_bytes=4

# Tracks at 0, 3.0 s (with an INDEX 00 a third of a second before) and 6:38 frames; 588 samples per frame.
cat > disc.cue <<'CUE'
FILE "disc.wav" WAVE
  TRACK 01 AUDIO
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    INDEX 00 00:02:50
    INDEX 01 00:03:00
  TRACK 03 AUDIO
    INDEX 01 00:06:38
CUE
starts=(0 132300 286944)
total=441000

flac -s -f --cuesheet=disc.cue disc.wav -o block.flac || fail "flac --cuesheet"

cat > tags.cue <<'CUE'
REM GENRE Rock
PERFORMER "Band"
TITLE "Album"
FILE "disc.wav" WAVE
  TRACK 01 AUDIO
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Two"
    INDEX 00 00:02:50
    INDEX 01 00:03:00
  TRACK 03 AUDIO
    TITLE "Three"
    PERFORMER "Guest"
    INDEX 01 00:06:38
CUE
cp disc.flac comment.flac
metaflac --set-tag-from-file=CUESHEET=tags.cue --set-tag=cue_track01_comment=first comment.flac

# info: one subsong per track, lengths from one INDEX 01 to the next (the last to the end of the file).
check_subsongs() {
  local file=$1
  inspect info "$PWD/$file" > info.txt || { cat err.txt >&2; fail "info of $file"; }
  expect_eq "$(grep -c '^subsong ' info.txt)" 3 "subsongs of $file"
  expect_eq "$(grep '^subsong \|^length ' info.txt | tr '\n' ' ')" \
    "subsong 1 length 3 subsong 2 length 3.506666666666667 subsong 3 length 3.493333333333333 " "lengths of $file"
  expect_eq "$(grep -c '^info cue_embedded=yes' info.txt)" 3 "cue tracks of $file"
  expect_contains info.txt "info pregap=00:00:25"
  expect_contains info.txt "info referenced_offset=00:06:38"
  expect_contains info.txt "meta tracknumber=3"
  expect_contains info.txt "meta totaltracks=3"
}

# cut_pcm FIRST END: frames FIRST to END of the reference into cut.pcm.
cut_pcm() {
  dd if=disc.ref.pcm of=cut.pcm bs=65536 iflag=skip_bytes,count_bytes skip=$(($1 * frame_bytes)) \
     count=$((($2 - $1) * frame_bytes)) status=none
}

# decode: each subsong is exactly its stretch of the whole file, and together they are the whole file.
check_audio() {
  local file=$1 k
  inspect decode "$PWD/$file" 0 "$PWD/whole.pcm" || { cat err.txt >&2; fail "decode $file"; }
  cmp -s whole.pcm disc.ref.pcm || fail "the whole of $file differs from flac -d"
  : > joined.pcm
  for k in 1 2 3; do
    inspect decode "$PWD/$file" $k "$PWD/part$k.pcm" || { cat err.txt >&2; fail "decode subsong $k of $file"; }
    local first=${starts[$((k - 1))]} end=$total
    [ $k -lt 3 ] && end=${starts[$k]}
    expect_eq "$(stat -c %s part$k.pcm)" $(((end - first) * frame_bytes)) "size of subsong $k of $file"
    cut_pcm $first $end
    cmp -s part$k.pcm cut.pcm || fail "subsong $k of $file is not its stretch of the whole"
    cat part$k.pcm >> joined.pcm
  done
  cmp -s joined.pcm disc.ref.pcm || fail "the subsongs of $file together are not the whole"
  # Seeking inside a subsong starts at that point of its stretch.
  inspect decode "$PWD/$file" 2 "$PWD/seek.pcm" --seek 1 || { cat err.txt >&2; fail "decode with --seek"; }
  cut_pcm $((132300 + 44100)) 286944
  cmp -s seek.pcm cut.pcm || fail "subsong 2 of $file after a seek"
}

check_subsongs block.flac
grep -q '^meta title=' info.txt && fail "a CUESHEET block has no titles"
check_audio block.flac

check_subsongs comment.flac
expect_eq "$(grep '^meta title=' info.txt | tr '\n' ' ')" "meta title=One meta title=Two meta title=Three " "titles"
expect_contains info.txt "meta artist=Guest"
expect_contains info.txt "meta album artist=Band"
expect_contains info.txt "meta comment=first"
check_audio comment.flac

# One subsong's title with a character the sheet cannot hold, and a field a sheet has no line for:
# override fields of that track; the other tracks keep theirs. A title the sheet holds goes into the sheet.
inspect write "$PWD/comment.flac" 'title=Say "hi"' mood=calm --subsong 2 || { cat err.txt >&2; fail "write subsong 2"; }
inspect write "$PWD/comment.flac" title=Plain --subsong 3 || { cat err.txt >&2; fail "write subsong 3"; }
metaflac --export-tags-to=tags.txt comment.flac
expect_contains tags.txt 'cue_track02_title=Say "hi"'
expect_contains tags.txt 'cue_track02_mood=calm'
expect_contains tags.txt 'cue_track01_comment=first'
expect_contains tags.txt '    TITLE "Say '"'"'hi'"'"'"'
expect_contains tags.txt '    TITLE "Plain"'
grep -q 'cue_track0[13]_title\|cue_track0[13]_mood\|cue_track0[123]_tracknumber' tags.txt && fail "overrides of unchanged fields"
expect_eq "$(grep -ci '^cuesheet=' tags.txt)" 1 "cuesheet comments"

# A new process reads the same back.
inspect info "$PWD/comment.flac" > info.txt || { cat err.txt >&2; fail "info after writing"; }
awk '/^subsong /{s=$2} /^meta (title|mood|comment)=/{print s ": " $0}' info.txt > fields.txt
cat > expected.txt <<'EXPECTED'
1: meta comment=first
1: meta title=One
2: meta mood=calm
2: meta title=Say "hi"
3: meta title=Plain
EXPECTED
diff expected.txt fields.txt >&2 || fail "subsong fields after writing"
check_subsongs comment.flac
check_audio comment.flac

# Editing a file whose sheet came from its CUESHEET block: the sheet becomes a comment, the block stays.
inspect write "$PWD/block.flac" title=First --subsong 1 || { cat err.txt >&2; fail "write block.flac"; }
expect_eq "$(metaflac --list --block-type=CUESHEET block.flac | grep -c 'type: 5')" 1 "CUESHEET block kept"
metaflac --export-tags-to=tags.txt block.flac
expect_contains tags.txt '    TITLE "First"'
inspect info "$PWD/block.flac" > info.txt || { cat err.txt >&2; fail "info of block.flac after writing"; }
expect_eq "$(grep '^meta title=' info.txt)" "meta title=First" "title of block.flac"
check_subsongs block.flac
check_audio block.flac
exit 0
