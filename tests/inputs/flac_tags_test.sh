# FLAC tags through the info reader and writer: what metaflac writes reads back exactly; what `write`
# writes reads back through metaflac, the file still passes `flac -t`, its audio and MD5 stay the same, and
# the blocks that are not comments survive, whether the new comments fit in the padding or the file grows.
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

make_flac t 44100 16 2
flac -s -d -f t.flac -o t.ref.wav && data_chunk t.ref.wav t.ref.pcm

# Reading: several values in file order, Unicode, the Vorbis-comment names of four fields, duplicate album
# artists (byte for byte) dropped, one TOTALTRACKS kept, ReplayGain in its own record, the channel mask
# as technical info, the vendor as "tool"; meta and technical fields sorted by name, ASCII case folded; the
# whole file of a file without a cue sheet is marked "cue_embedded=no".
cp t.flac read.flac
metaflac --set-tag=ARTIST=B --set-tag=ARTIST=A --set-tag="TITLE=Grüße ✓ 日本" --set-tag=albumartist=A \
  --set-tag=AlbumArtist=A --set-tag=ALBUMARTIST=a --set-tag=ORGANIZATION=Label --set-tag=TRACKTOTAL=9 \
  --set-tag=TRACKTOTAL=10 --set-tag=DISCTOTAL=2 --set-tag="REPLAYGAIN_TRACK_GAIN=-6.20 dB" \
  --set-tag=REPLAYGAIN_TRACK_PEAK=0.988 --set-tag="replaygain_album_gain=+1.5 dB" \
  --set-tag=REPLAYGAIN_ALBUM_PEAK=1.02 --set-tag="comment=a=b" --set-tag=WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3 \
  read.flac
inspect info "$PWD/read.flac" > info.txt || { cat err.txt >&2; fail "info"; }
md5=$(metaflac --show-md5sum read.flac | tr a-f A-F)
cat > expected.txt <<EXPECTED
subsong 0
length 1
info bitrate=BITRATE
info bitspersample=16
info channels=2
info codec=FLAC
info cue_embedded=no
info encoding=lossless
info md5=$md5
info samplerate=44100
info tool=$(metaflac --show-vendor-tag read.flac)
info WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3
meta ALBUM ARTIST=A
meta ALBUM ARTIST=a
meta ARTIST=B
meta ARTIST=A
meta comment=a=b
meta PUBLISHER=Label
meta TITLE=Grüße ✓ 日本
meta TOTALDISCS=2
meta TOTALTRACKS=9
replaygain track_gain=-6.20 dB
replaygain track_peak=0.988000
replaygain album_gain=+1.50 dB
replaygain album_peak=1.020000
EXPECTED
sed -i 's/^info bitrate=[0-9]*$/info bitrate=BITRATE/' info.txt
diff expected.txt info.txt >&2 || fail "info of a metaflac-tagged file"

# A file without comment fields takes those of an ID3v2 tag in front of it; with comment fields it keeps
# its own.
printf 'ID3\x03\x00\x00\x00\x00\x00\x17TIT2\x00\x00\x00\x0D\x00\x00\x00From ID3 tag' > id3.bin
cat id3.bin t.flac > id3.flac
inspect info "$PWD/id3.flac" > info.txt || { cat err.txt >&2; fail "info of an ID3v2-prefixed file"; }
expect_contains info.txt "meta title=From ID3 tag"
cat id3.bin read.flac > id3read.flac
inspect info "$PWD/id3read.flac" > info.txt || { cat err.txt >&2; fail "info of a tagged ID3v2-prefixed file"; }
grep -q "From ID3 tag" info.txt && fail "the ID3v2 tag hid the file's own comments"
expect_contains info.txt "meta ARTIST=B"

# Writing. $1: the file; the rest: the arguments of `write`. Checks what every write must keep.
write_and_check() {
  local file=$1
  shift
  local md5_before frames_before
  md5_before=$(metaflac --show-md5sum "$file")
  inspect write "$PWD/$file" "$@" || { cat err.txt >&2; fail "write $file"; }
  flac -t -s "$file" 2>&1 || fail "flac -t fails after writing $file"
  expect_eq "$(metaflac --show-md5sum "$file")" "$md5_before" "MD5 of $file after writing"
  flac -s -d -f "$file" -o check.wav && data_chunk check.wav check.pcm
  cmp -s check.pcm t.ref.pcm || fail "the audio of $file changed"
  ls temp-*.tmp >/dev/null 2>&1 && fail "a temporary file was left beside $file"
  return 0
}

big=$(head -c 30000 /dev/zero | tr '\0' 'x')
note=$(head -c 3000 /dev/zero | tr '\0' 'n')   # more than the old comments, less than the default padding
for layout in padded unpadded; do
  cp read.flac "$layout.flac"
  printf 'PNG picture bytes' > cover.png
  metaflac --import-picture-from="3|image/png|cover|1x1x24/0|cover.png" "$layout.flac"
  if [ $layout = unpadded ]; then
    metaflac --remove --block-type=PADDING --dont-use-padding "$layout.flac"
  fi
  size_before=$(stat -c %s "$layout.flac")
  write_and_check "$layout.flac" ARTIST=X ARTIST=Y "TITLE=Ünïcode ☃" ALBUM=New "NOTE=$note" "comment=" \
    "replaygain_track_gain=-3.5 dB" "replaygain_album_peak="
  metaflac --export-tags-to=tags.txt "$layout.flac"
  # Fields in name order (the names the program uses: "publisher" for ORGANIZATION and so on).
  cat > expected.txt <<EXPECTED
ALBUM=New
ALBUMARTIST=A
ALBUMARTIST=a
ARTIST=X
ARTIST=Y
NOTE=$note
ORGANIZATION=Label
TITLE=Ünïcode ☃
DISCTOTAL=2
TRACKTOTAL=9
replaygain_album_gain=+1.50 dB
replaygain_track_gain=-3.50 dB
replaygain_track_peak=0.988000
WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3
EXPECTED
  diff expected.txt tags.txt >&2 || fail "tags written into $layout.flac"
  expect_eq "$(metaflac --show-vendor-tag "$layout.flac")" "$(metaflac --show-vendor-tag read.flac)" "vendor of $layout.flac"
  metaflac --export-picture-to=cover.out "$layout.flac" && cmp -s cover.out cover.png || fail "the picture of $layout.flac"
  paddings=$(metaflac --list --block-type=PADDING "$layout.flac" | grep -c "type: 1")
  if [ $layout = padded ]; then
    # The comments fit in the old space: written in place, the file keeps its size.
    expect_eq "$(stat -c %s "$layout.flac")" "$size_before" "size of $layout.flac"
    expect_eq "$paddings" 1 "PADDING blocks of $layout.flac"
  else
    # No room: the file grows, with 512 bytes of padding after the new comments.
    [ "$(stat -c %s "$layout.flac")" -gt "$size_before" ] || fail "$layout.flac did not grow"
    metaflac --list "$layout.flac" | grep -A2 "type: 4" > /dev/null
    expect_eq "$(metaflac --list --block-type=PADDING "$layout.flac" | sed -n 's/^  length: //p')" 512 "padding after growth"
  fi
  # Growing a file that has padding, then shrinking it again; an empty value removes the field.
  write_and_check "$layout.flac" "COMMENT=$big"
  expect_eq "$(metaflac --show-tag=COMMENT "$layout.flac" | wc -c)" $((30000 + 9)) "the long comment"
  write_and_check "$layout.flac" "COMMENT=" TITLE=
  [ -z "$(metaflac --show-tag=COMMENT --show-tag=TITLE "$layout.flac")" ] || fail "removed fields are still in $layout.flac"
  metaflac --export-picture-to=cover.out "$layout.flac" && cmp -s cover.out cover.png || fail "the picture of $layout.flac"
done

# What `write` wrote reads back through the reader too.
inspect info "$PWD/unpadded.flac" > info.txt || { cat err.txt >&2; fail "info after writing"; }
expect_contains info.txt "meta ARTIST=X"
expect_contains info.txt "meta ARTIST=Y"
expect_contains info.txt "replaygain track_gain=-3.50 dB"
grep -q "album_peak" info.txt && fail "the removed album peak is back"
exit 0
