# Mutation test of every parser (parser_mutants.exe): small valid files of each input format made here by
# Debian's encoders, the tag, cue, language and configuration fixtures made by the program itself; at least
# 2,000 mutants of each go through open, info, decode, seek and a tag write. A failure line names the seed
# and mutant number that replay it:
#   wine parser_mutants.exe FIXTURES SCRATCH --only NAME --seed S --mutant K
PY=/usr/bin/python3
for tool in sox flac oggenc opusenc wavpack mpcenc ffmpeg mkvmerge; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
mkdir fixtures scratch
cd fixtures
# Short sources keep every mutant quick (a tag write copies the file): 0.07 s of stereo sweep and noise, in
# several frames or blocks where the encoder lets us choose.
sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 0.07 sine 300-2000 whitenoise vol 0.4 || fail "sox"
flac -s -b 1152 --no-padding -T TITLE=Fixture -T ARTIST=Someone -T REPLAYGAIN_TRACK_GAIN=-2.00 -o t.flac src.wav \
  || fail "flac"
flac -s -b 1152 --ogg --no-padding -T TITLE=Fixture -o t.oga src.wav || fail "ogg flac"
oggenc -Q -q 0 -t Fixture -a Someone -o t.ogg src.wav || fail "oggenc"
opusenc --quiet --bitrate 32 --title Fixture --artist Someone src.wav t.opus || fail "opusenc"
# WavPack in three small blocks (damage costs one block), from a shorter source: the WavPack library reads a
# file in many small pieces, which makes each tag write slow.
sox -V1 src.wav short.wav trim 0 0.03 || fail "sox trim"
wavpack -q -y --blocksize=512 -w "Title=Fixture" short.wav -o t.wv || fail "wavpack"
ffmpeg -nostdin -v error -y -i src.wav -metadata title=Fixture -metadata artist=Someone t.wav || fail "wav"
ffmpeg -nostdin -v error -y -i src.wav -rf64 always t.rf64.wav || fail "rf64"
sox -V1 src.wav -t w64 t.w64 || fail "wave64"
mpcenc --silent --quality 2 --tag Title=Fixture src.wav t.mpc || fail "mpcenc"
ffmpeg -nostdin -v error -y -i src.wav -c:a alac t.m4a || fail "alac"
"$PY" "$VORN_SOURCE_DIR/tests/inputs/alac_frames.py" t.m4a t.alacframes || fail "alac frames"
# MP4: ALAC in two chapters with items, the movie box first (a cover and a freeform item added by mutagen).
printf ';FFMETADATA1\ntitle=Fixture\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=30\ntitle=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=30\nEND=70\ntitle=Two\n' \
  > chapters.txt
ffmpeg -nostdin -v error -y -i src.wav -i chapters.txt -map 0:a -map_metadata 1 -map_chapters 1 -c:a alac \
  -movflags +faststart t.chapters.m4a || fail "mp4"
"$PY" -c 'import sys, mutagen.mp4 as m; f = m.MP4(sys.argv[1]); f["covr"] = [m.MP4Cover(b"\xff\xd8\xff\xe0" + bytes(40))]; f["----:com.apple.iTunes:iTunSMPB"] = [m.MP4FreeForm(b" 0 0 0 C00")]; f["trkn"] = [(1, 2)]; f.save()' \
  t.chapters.m4a || fail "mutagen"
# Matroska: FLAC with tags, two chapters and an attached picture; WebM: the Opus stream.
printf 'CHAPTER01=00:00:00.000\nCHAPTER01NAME=One\nCHAPTER02=00:00:00.030\nCHAPTER02NAME=Two\n' > mkv-chapters.txt
printf '<Tags><Tag><Simple><Name>TITLE</Name><String>Fixture</String></Simple></Tag></Tags>' > tags.xml
head -c 64 /dev/zero > cover.jpg
mkvmerge -q -o t.mka --chapters mkv-chapters.txt --global-tags tags.xml --attachment-mime-type image/jpeg \
  --attach-file cover.jpg t.flac || fail "mkvmerge"
ffmpeg -nostdin -v error -y -i t.opus -c copy t.webm || fail "webm"
cd ..
ls -l fixtures >&2

# Two halves of the formats run side by side (the program itself is single-threaded).
run_group() {
  wine "$VORN_BUILD_DIR/tests/parser_mutants.exe" "$(winpath "$PWD/fixtures")" "$(winpath "$PWD/scratch$1")" \
    --only "$2" ${VORN_MUTANTS:+--mutants "$VORN_MUTANTS"} > "out$1.txt" 2> "err$1.txt"
}
mkdir scratch2
set +e
run_group "" wavpack,vorbis,opus,alac,language,cue,wavtags,config,mp4,matroska & first=$!
run_group 2 oggflac,flac,wav,rf64,wave64,musepack,tags,webm
rc2=$?
wait $first
rc1=$?
set -e
cat out.txt out2.txt
cat err.txt err2.txt >&2
[ $rc1 -eq 0 ] && [ $rc2 -eq 0 ] || fail "parser mutants failed (exit $rc1, $rc2): see the FAIL, CRASH or HANG lines above"
grep -q "^all mutants handled" out.txt && grep -q "^all mutants handled" out2.txt || fail "the run did not finish"
