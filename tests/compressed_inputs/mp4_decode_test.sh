# MP4/M4A decoding through input probing: ALAC byte-identical to ffmpeg's decode, AAC and MP3 as long as the
# track's media duration and equal to ffmpeg's decode without the edit list, iTunSMPB giving the source's exact
# length, ffmpeg's chapters as subsongs that join to the whole, seeking equal to decoding from the start, and
# damaged files failing cleanly (damaged packets: mp4_input_test.cpp).
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mpeg_fixtures.sh"
source "$VORN_SOURCE_DIR/tests/compressed_inputs/mp4_fixtures.sh"

# ALAC: 16 and 24 bits, 1, 2 and 6 channels.
source_wav st 44100 2
source_wav mo 48000 1 1.3
sox -V1 -D -n -r 44100 -b 24 -c 2 st24.wav synth 1.7 sine 200-5000 pinknoise vol 0.5
sox -V1 -D -n -r 48000 -b 16 -c 6 six.wav synth 1.1 sine 100 sine 200 sine 300 sine 400 sine 500 sine 600
while read -r name src bits channels; do
  ffmpeg -nostdin -v error -y -i "$src.wav" -c:a alac "$name.m4a" || fail "ffmpeg ALAC $name"
  fmt=s16le; [ "$bits" = 24 ] && fmt=s24le
  ffmpeg -nostdin -v error -y -i "$name.m4a" -f "$fmt" "$name.ff.pcm" || fail "ffmpeg decode $name"
  decode "$name.m4a" "$name.pcm" --bits "$bits"
  cmp -s "$name.pcm" "$name.ff.pcm" || fail "ALAC $name differs from ffmpeg's decode"
done <<'CASES'
alac16 st   16 2
alacmo mo   16 1
alac24 st24 24 2
alac6  six  16 6
CASES
inspect info "$PWD/alac24.m4a" > info.txt || { cat err.txt >&2; fail "info alac24"; }
expect_contains info.txt "info codec=ALAC"
expect_contains info.txt "info bitspersample=24"

# AAC and MP3 in MP4: the media duration in samples; the audio of ffmpeg's decode without the edit list.
source_wav s22 22050 1 1.9
while read -r name src codec ext; do
  ffmpeg -nostdin -v error -y -i "$src.wav" -c:a "$codec" -b:a 96k "$name.$ext" || fail "ffmpeg $codec"
  decode "$name.$ext" "$name.pcm" --reports
  [ ! -s decode.out ] || { cat decode.out >&2; fail "$name: reports while decoding"; }
  channels=$(python3 -c 'import sys, wave; print(wave.open(sys.argv[1]).getnchannels())' "$src.wav")
  expect_eq "$(frames_of "$name.pcm" "$channels" 2)" "$(media_samples "$name.$ext")" "$name: samples"
  ffmpeg -nostdin -v error -y -ignore_editlist 1 -i "$name.$ext" -f s16le "$name.ff.all.pcm" || fail "ffmpeg $name"
  head_cut "$name.ff.all.pcm" "$(stat -c %s "$name.pcm")" "$name.ff.pcm"
  snr "$name.pcm" "$name.ff.pcm"
done <<'CASES'
aac  st  aac        m4a
aacm s22 aac        m4a
mp3  st  libmp3lame mp4
CASES

# QuickTime sound descriptions (version 1, the setup inside a "wave" box), as ffmpeg writes movies.
ffmpeg -nostdin -v error -y -i st.wav -c:a alac -f mov qtalac.m4a || fail "ffmpeg mov ALAC"
decode qtalac.m4a qtalac.pcm
cmp -s qtalac.pcm alac16.pcm || fail "a QuickTime ALAC movie differs"
ffmpeg -nostdin -v error -y -i st.wav -c:a aac -b:a 96k -f mov qtaac.m4a || fail "ffmpeg mov AAC"
decode qtaac.m4a qtaac.pcm
expect_eq "$(frames_of qtaac.pcm 2 2)" "$(media_samples qtaac.m4a)" "QuickTime AAC: samples"

# iTunSMPB (written by mutagen): exactly the source's samples, ffmpeg's gapless decode.
cp aac.m4a smpb.m4a
total=$(wav_frames st.wav)
"$PY" - smpb.m4a "$total" <<'PY'
import sys, mutagen.mp4
f = mutagen.mp4.MP4(sys.argv[1])
f["----:com.apple.iTunes:iTunSMPB"] = [mutagen.mp4.MP4FreeForm((" 00000000 00000400 00000000 %016X" % int(sys.argv[2])).encode())]
f.save()
PY
decode smpb.m4a smpb.pcm
expect_eq "$(frames_of smpb.pcm 2 2)" "$total" "iTunSMPB: samples"
tail -c +$((1024 * 4 + 1)) aac.ff.all.pcm | head -c "$(stat -c %s smpb.pcm)" > smpb.ff.pcm
snr smpb.pcm smpb.ff.pcm

# Chapters from ffmpeg ("chpl"): subsongs 1..3 whose audio joins to the whole, sample-exact.
printf ';FFMETADATA1\nalbum=Book\n' > chapters.txt
for c in "0 800 One" "800 1500 Two" "1500 2300 Three"; do
  set -- $c
  printf '[CHAPTER]\nTIMEBASE=1/1000\nSTART=%s\nEND=%s\ntitle=%s\n' "$1" "$2" "$3" >> chapters.txt
done
ffmpeg -nostdin -v error -y -i st.wav -i chapters.txt -map 0:a -map_metadata 1 -map_chapters 1 -c:a alac book.m4a \
  || fail "ffmpeg chapters"
inspect info "$PWD/book.m4a" > info.txt || { cat err.txt >&2; fail "info book"; }
expect_eq "$(grep -c '^subsong' info.txt)" 3 "chapter subsongs"
expect_contains info.txt "meta title=Two"
expect_contains info.txt "meta tracknumber=3"
expect_contains info.txt "meta album=Book"
: > joined.pcm
for i in 1 2 3; do
  inspect decode "$PWD/book.m4a" "$i" "$PWD/ch$i.pcm" > decode.out || { cat err.txt >&2; fail "decode chapter $i"; }
  cat "ch$i.pcm" >> joined.pcm
done
expect_eq "$(frames_of ch2.pcm 2 2)" 30870 "chapter 2: samples"
cmp -s joined.pcm alac16.pcm || fail "the chapters do not join to the whole"

# Seeking equals decoding from the start.
decode alac16.m4a seek.pcm --seek 1.25
cmp -s seek.pcm <(tail -c +$((55125 * 4 + 1)) alac16.pcm) || fail "ALAC seek differs"
inspect decode "$PWD/book.m4a" 2 "$PWD/seekch.pcm" --seek 0.5 > decode.out || { cat err.txt >&2; fail "seek chapter"; }
cmp -s seekch.pcm <(tail -c +$((22050 * 4 + 1)) ch2.pcm) || fail "seek inside a chapter differs"
decode aac.m4a seekaac.pcm --seek 1.0
snr seekaac.pcm aac.pcm $((44100 * 2))
decode alac16.m4a end.pcm --seek 5
expect_eq "$(stat -c %s end.pcm)" 0 "seek past the end"

# The structure report with --flags 8 --reports.
cp alac16.m4a tagged.m4a
printf 'TAG%125s' "" >> tagged.m4a
decode tagged.m4a tagged.pcm --flags 8 --reports
expect_contains decode.out "File is corrupted, apparent ID3 tag found at the end."
cmp -s tagged.pcm alac16.pcm || fail "a trailing ID3v1 block changed the audio"

# An AAC track without its configuration, or with one the codec cannot use, fails instead of playing nothing.
"$PY" - aac.m4a noasc.m4a refused.m4a <<'PY'
import sys
d = open(sys.argv[1], "rb").read()
i = d.index(b"esds")
j = d.index(b"\x05", d.index(b"\x04", i + 8) + 5)          # the decoder-specific info descriptor
k = j + 1
while d[k] & 0x80: k += 1
start, end = k + 1, k + 1 + d[k]
no = bytearray(d); no[j + 1:k + 1] = bytes([0x80] * (k - j - 1) + [0])   # length 0: no configuration
open(sys.argv[2], "wb").write(no)
bad = bytearray(d); bad[start:start + 2] = b"\x00\x00"            # object type 0
open(sys.argv[3], "wb").write(bad)
PY
for f in noasc refused; do
  inspect decode "$PWD/$f.m4a" 0 "$PWD/$f.pcm" > decode.out && fail "$f.m4a decoded"
  grep -q . err.txt || fail "$f.m4a: no error text"
done
expect_contains err.txt "Media Foundation"

# Damaged files fail with a clear error and no crash.
: > zero.m4a
head -c 5000 /dev/urandom > random.m4a
ffmpeg -nostdin -v error -y -i st.wav -c:a alac -movflags +faststart fast.m4a
head -c $(( $(stat -c %s fast.m4a) - 30000 )) fast.m4a > cutmdat.m4a
"$PY" - alac16.m4a twomoov.m4a <<'PY'
import sys
d = open(sys.argv[1], "rb").read()
i = d.index(b"moov") - 4
n = int.from_bytes(d[i:i + 4], "big")
open(sys.argv[2], "wb").write(d + d[i:i + n])
PY
for bad in zero random twomoov; do
  set +e
  inspect info "$PWD/$bad.m4a" > /dev/null
  rc=$?
  set -e
  [ $rc -ne 0 ] && [ $rc -ne 139 ] || fail "$bad.m4a: exit $rc"
  grep -q . err.txt || fail "$bad.m4a: no error text"
done
inspect info "$PWD/cutmdat.m4a" > info.txt || { cat err.txt >&2; fail "a cut mdat after the movie box opens"; }
inspect decode "$PWD/cutmdat.m4a" 0 "$PWD/cut.pcm" > decode.out && fail "a cut mdat decoded to its end"
expect_contains err.txt "Unsupported format or corrupted file"
