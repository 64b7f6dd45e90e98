# Ogg tag and picture writing through the input's writer and the album-art services: ogginfo finds no
# errors afterwards, vorbiscomment and opusinfo show the new comments, the audio packets (and every header
# packet but the comment packet) are unchanged; same-size comments are rewritten in place; a grown comment
# in the first link of a chain moves and renumbers the rest; pictures read back byte for byte.
source "$VORN_SOURCE_DIR/tests/inputs/ogg_fixtures.sh"

# check_ogg FILE ORIGINAL [--skip-head]: the written file is valid and carries the original's audio packets.
check_ogg() {
  ogginfo "$1" > ogginfo.txt 2>&1 || { cat ogginfo.txt >&2; fail "ogginfo rejects $1"; }
  if grep -qiE "warning|error" ogginfo.txt; then cat ogginfo.txt >&2; fail "ogginfo complains about $1"; fi
  packets "$1" "${@:3}" > after.txt || fail "cannot list the packets of $1"
  packets "$2" "${@:3}" > before.txt || fail "cannot list the packets of $2"
  cmp -s before.txt after.txt || fail "$1: packets other than the comment packet changed"
}

make_wav tone 44100 2 2
oggenc -Q -t "Old title" -a "Artist" -c "COMMENT=keep me" tone.wav -o vorbis.ogg || fail "oggenc"
opusenc --quiet --title "Old title" --artist "Artist" tone.wav opus.opus || fail "opusenc"
flac -s --ogg -f -T "TITLE=Old title" -T "ARTIST=Artist" tone.wav -o flac.oga || fail "flac --ogg"

# Comments written by the player, read by the Xiph tools.
for file in vorbis.ogg opus.opus flac.oga; do
  cp "$file" "w_$file"
  inspect write "$PWD/w_$file" "TITLE=New title, rather longer than before" "ALBUM=Album" || { cat err.txt >&2; fail "write $file"; }
  check_ogg "w_$file" "$file"
  inspect info "$PWD/w_$file" > info.txt || { cat err.txt >&2; fail "info $file"; }
  expect_contains info.txt "meta TITLE=New title, rather longer than before"
  expect_contains info.txt "meta ALBUM=Album"
  grep -qix "meta artist=Artist" info.txt || fail "$file: the artist was not kept"
done
vorbiscomment -l w_vorbis.ogg > vc.txt
expect_contains vc.txt "TITLE=New title, rather longer than before"
expect_contains vc.txt "COMMENT=keep me"
opusinfo w_opus.opus > oi.txt
expect_contains oi.txt "TITLE=New title, rather longer than before"
flac -s -d --ogg -f w_flac.oga -o w_flac.wav && flac -s -d --ogg -f flac.oga -o flac.wav || fail "flac -d"
cmp -s w_flac.wav flac.wav || fail "Ogg FLAC audio changed by the tag write"

# ReplayGain in Opus: header gain and R128_TRACK_GAIN, as opusinfo shows them.
cp opus.opus rg.opus
inspect write "$PWD/rg.opus" "replaygain_album_gain=-3 dB" "replaygain_track_gain=-1.5 dB" || { cat err.txt >&2; fail "write gains"; }
check_ogg rg.opus opus.opus --skip-head
opusinfo rg.opus > oi.txt
expect_contains oi.txt "R128_TRACK_GAIN=384"
expect_contains oi.txt "Playback gain: -8 dB"
inspect info "$PWD/rg.opus" > info.txt || { cat err.txt >&2; fail "info gains"; }
expect_contains info.txt "replaygain track_gain=-1.50 dB"
expect_contains info.txt "replaygain album_gain=-3.00 dB"

# A comment of the same size is rewritten in place: the file keeps its length, only header pages change.
cp vorbis.ogg same.ogg
inspect write "$PWD/same.ogg" "TITLE=Old eltit" || { cat err.txt >&2; fail "write same size"; }
expect_eq "$(stat -c %s same.ogg)" "$(stat -c %s vorbis.ogg)" "length after a same-size write"
check_ogg same.ogg vorbis.ogg
vorbiscomment -l same.ogg | grep -qx "TITLE=Old eltit" || fail "same-size title not written"
expect_eq "$(cmp -l vorbis.ogg same.ogg | awk '$1 > 8192' | wc -l)" 0 "bytes changed beyond the header pages"

# A chain: a longer comment in link 0 moves links 1 and 2, whose pages keep valid numbers and checksums.
make_wav c1 48000 1 1
make_wav c2 44100 2 1
oggenc -Q -s 11 -t One tone.wav -o l0.ogg && oggenc -Q -s 22 -t Two c1.wav -o l1.ogg && \
  oggenc -Q -s 33 -t Three c2.wav -o l2.ogg || fail "oggenc chain"
cat l0.ogg l1.ogg l2.ogg > chain.ogg
cp chain.ogg w_chain.ogg
inspect write "$PWD/w_chain.ogg" "TITLE=$(printf 'x%.0s' $(seq 1 3000))" || { cat err.txt >&2; fail "write chain"; }
check_ogg w_chain.ogg chain.ogg
inspect info "$PWD/w_chain.ogg" > info.txt || { cat err.txt >&2; fail "info chain"; }
expect_eq "$(grep -c '^subsong' info.txt)" 3 "subsongs after the write"
expect_eq "$(grep -i '^meta title' info.txt | cut -c1-20 | tr '\n' ' ')" "meta TITLE=xxxxxxxxx meta title=Two meta title=Three " "titles after the write"
for link in 1 2; do
  inspect decode "$PWD/chain.ogg" $link "$PWD/before.raw" && inspect decode "$PWD/w_chain.ogg" $link "$PWD/after.raw" || \
    { cat err.txt >&2; fail "decode link $link"; }
  cmp -s before.raw after.raw || fail "link $link decodes differently after the write"
done
# ... and the second link can be retagged on its own too.
inspect write "$PWD/w_chain.ogg" "TITLE=Second" --subsong 1 || { cat err.txt >&2; fail "write link 1"; }
check_ogg w_chain.ogg chain.ogg
inspect info "$PWD/w_chain.ogg" | grep -i '^meta title' | sed -n 2p | grep -qx "meta TITLE=Second" || fail "link 1 title"

# Pictures: written, read back byte for byte by kind name and by type number, kept by a later tag write,
# replaced and removed; the file stays valid and its audio unchanged.
convert -size 40x30 gradient:red-blue PNG24:cover.png && convert -size 16x8 xc:blue back.jpg || fail "convert"
for file in vorbis.ogg opus.opus; do
  cp "$file" "p_$file"
  inspect art "$PWD/p_$file" front "$PWD/none.png" && fail "$file: a picture before any was written"
  expect_error "Attached picture not found" "exception_album_art_not_found"
  inspect art-write "$PWD/p_$file" front "$PWD/cover.png" && inspect art-write "$PWD/p_$file" 4 "$PWD/back.jpg" || \
    { cat err.txt >&2; fail "art-write $file"; }
  inspect write "$PWD/p_$file" "TITLE=With pictures" || { cat err.txt >&2; fail "write after pictures $file"; }
  check_ogg "p_$file" "$file"
  inspect art "$PWD/p_$file" front "$PWD/front.out" && inspect art "$PWD/p_$file" 4 "$PWD/back.out" || \
    { cat err.txt >&2; fail "art $file"; }
  cmp -s front.out cover.png || fail "$file: front cover does not read back byte for byte"
  cmp -s back.out back.jpg || fail "$file: back cover does not read back byte for byte"
  inspect art "$PWD/p_$file" disc "$PWD/none.png" && fail "$file: a disc picture that was never written"
  expect_error "Attached picture not found" "exception_album_art_not_found"
  inspect art-write "$PWD/p_$file" back || { cat err.txt >&2; fail "remove back $file"; }
  inspect art "$PWD/p_$file" back "$PWD/none.png" && fail "$file: the removed back cover"
  expect_error "Attached picture not found" "exception_album_art_not_found"
  inspect info "$PWD/p_$file" > info.txt || fail "info $file"
  expect_contains info.txt "meta TITLE=With pictures"
  check_ogg "p_$file" "$file"
done
# The picture block says PNG, its size and depth (GDI+), type 3.
vorbiscomment -l p_vorbis.ogg | sed -n 's/^METADATA_BLOCK_PICTURE=//p' | base64 -d > block.bin || fail "no picture comment"
expect_eq "$(od -An -tx1 -N4 block.bin | tr -d ' ')" "00000003" "picture type"
expect_eq "$(dd if=block.bin bs=1 skip=8 count=9 2>/dev/null)" "image/png" "picture MIME type"
expect_eq "$(od -An -tu1 -j21 -N12 block.bin | tr -s ' ')" " 0 0 0 40 0 0 0 30 0 0 0 24" "width, height and bits per pixel of a 24-bit PNG"

# A damaged picture comment does not hide the other pictures, and the file can still get new pictures.
cp vorbis.ogg broken.ogg
vorbiscomment -a -t "METADATA_BLOCK_PICTURE=AAAAAwAAAAlpbWFnZS9wbmc" -t "COVERART=$(base64 -w0 back.jpg)" broken.ogg || fail "vorbiscomment"
inspect art "$PWD/broken.ogg" front "$PWD/front.out" || { cat err.txt >&2; fail "art with a damaged picture"; }
cmp -s front.out back.jpg || fail "COVERART not read beside a damaged picture"
inspect art-write "$PWD/broken.ogg" back "$PWD/cover.png" || { cat err.txt >&2; fail "art-write with a damaged picture"; }
inspect art "$PWD/broken.ogg" back "$PWD/back.out" && cmp -s back.out cover.png || fail "back cover after repair"

# FLAC in Ogg keeps pictures in blocks of its own: the Ogg picture writer refuses it.
cp flac.oga p_flac.oga
inspect art-write "$PWD/p_flac.oga" front "$PWD/cover.png" && fail "a picture was written to FLAC in Ogg"
cmp -s p_flac.oga flac.oga || fail "the refused picture write changed the file"
