# Ogg decoding through input probing, compared with Debian's decoders: Opus sample for sample with
# `opusdec --float` (exact count, float rounding), Vorbis within one step of `oggdec`, FLAC in Ogg
# byte-identical to `flac -d`; surround layouts; a chain of three streams with one subsong per link and
# seeking within and across links.
source "$VORN_SOURCE_DIR/tests/inputs/ogg_fixtures.sh"

checked=0
# name codec rate channels seconds [reference channel order]
# oggdec writes 5.1 as L R C RR LFE RL (measured against the source WAV); the player gives WAVE order.
while read -r name codec rate channels seconds order; do
  make_wav "$name" "$rate" "$channels" "$seconds"
  case $codec in
    opus)
      opusenc --quiet "$name.wav" "$name.opus" || fail "opusenc $name"
      opusdec --quiet --float --rate 48000 "$name.opus" "$name.ref.wav" || fail "opusdec $name"
      inspect decode "$PWD/$name.opus" 0 "$PWD/$name.raw" --float || { cat err.txt >&2; fail "decode $name"; }
      compare "$name.raw" "$name.ref.wav" f32 1e-6 || fail "$name differs from opusdec"
      ;;
    vorbis)
      oggenc -Q "$name.wav" -o "$name.ogg" || fail "oggenc $name"
      oggdec -Q "$name.ogg" -o "$name.ref.wav" || fail "oggdec $name"
      inspect decode "$PWD/$name.ogg" 0 "$PWD/$name.raw" || { cat err.txt >&2; fail "decode $name"; }
      compare "$name.raw" "$name.ref.wav" s16 1 0 $order || fail "$name differs from oggdec"
      ;;
    flac)
      flac -s --ogg -f "$name.wav" -o "$name.oga" || fail "flac --ogg $name"
      flac -s -d --ogg -f "$name.oga" -o "$name.ref.wav" || fail "flac -d $name"
      inspect decode "$PWD/$name.oga" 0 "$PWD/$name.raw" || { cat err.txt >&2; fail "decode $name"; }
      compare "$name.raw" "$name.ref.wav" s16 0 || fail "$name differs from flac -d"
      ;;
  esac
  checked=$((checked + 1))
done <<'CASES'
opus_mono     opus   44100 1 1.3
opus_stereo   opus   48000 2 2
opus_3ch      opus   48000 3 1
opus_51       opus   48000 6 1
opus_71       opus   48000 8 1
vorbis_mono   vorbis 22050 1 1.5
vorbis_stereo vorbis 44100 2 2
vorbis_51     vorbis 48000 6 1 0,1,2,4,5,3
flac_stereo   flac   44100 2 2
flac_51       flac   48000 6 1
CASES
expect_eq "$checked" 10 "decode cases run"

# Surround Opus and Vorbis keep the centre in the centre: a 3-channel WAV whose third (centre) channel alone
# carries a tone, encoded and decoded, has its sound in the third channel again (the encoders store it as
# the middle channel of L C R).
sox -V1 -D -n -r 48000 -b 16 -c 1 silent.wav synth 1 sine 0 vol 0
sox -V1 -D -n -r 48000 -b 16 -c 1 tone.wav synth 1 sine 440 vol 0.5
sox -V1 -M silent.wav silent.wav tone.wav lrc.wav || fail "sox lrc"
opusenc --quiet lrc.wav lrc.opus && oggenc -Q lrc.wav -o lrc.ogg || fail "encoding lrc"
for file in lrc.opus lrc.ogg; do
  inspect decode "$PWD/$file" 0 "$PWD/lrc.raw" --float || { cat err.txt >&2; fail "decode $file"; }
  python3 - lrc.raw <<'PY' || fail "$file: the centre channel does not come back as the third channel"
import struct, sys
d = open(sys.argv[1], "rb").read()
v = struct.unpack(f"<{len(d)//4}f", d)
energy = [sum(x * x for x in v[c::3]) for c in range(3)]
sys.exit(0 if energy[2] > 10 * max(energy[0], energy[1]) else 1)
PY
done

# A chain of three streams (distinct serial numbers): one subsong per link, each with its own length and
# title; decoding link 1 gives the second file's audio; seeking within and across the link gives the
# samples decoding from the start gives.
make_wav c0 44100 2 1.5
make_wav c1 48000 1 2
make_wav c2 44100 2 1
oggenc -Q -s 101 -t First c0.wav -o c0.ogg && oggenc -Q -s 202 -t Second c1.wav -o c1.ogg && \
  oggenc -Q -s 303 -t Third c2.wav -o c2.ogg || fail "oggenc chain"
cat c0.ogg c1.ogg c2.ogg > chain.ogg
inspect info "$PWD/chain.ogg" > chain.txt || { cat err.txt >&2; fail "info chain"; }
expect_eq "$(grep -c '^subsong' chain.txt)" 3 "subsongs of the chain"
expect_eq "$(grep '^length' chain.txt | tr '\n' ' ')" "length 1.5 length 2 length 1 " "link lengths"
expect_eq "$(grep -i '^meta title' chain.txt | tr '\n' ' ')" "meta title=First meta title=Second meta title=Third " "link titles"
for link in 0 1 2; do
  oggdec -Q "c$link.ogg" -o "c$link.ref.wav" || fail "oggdec c$link"
  inspect decode "$PWD/chain.ogg" "$link" "$PWD/link$link.raw" || { cat err.txt >&2; fail "decode link $link"; }
  compare "link$link.raw" "c$link.ref.wav" s16 1 || fail "link $link differs from its own file"
done

# Seeking: start, inside the first page, across pages and near the end, for every codec and in links.
while read -r file subsong ref format tolerance rate channels extra; do
  for seconds in 0 0.01 0.5 0.731 $(awk -v r="$rate" 'BEGIN { printf "%.6f", 0.9 }'); do
    inspect decode "$PWD/$file" "$subsong" "$PWD/seek.raw" --seek "$seconds" $extra || { cat err.txt >&2; fail "seek $file $seconds"; }
    skip=$(awk -v s="$seconds" -v r="$rate" -v c="$channels" 'BEGIN { printf "%d", int(s * r + 0.5) * c }')
    compare seek.raw "$ref" "$format" "$tolerance" "$skip" || fail "$file (subsong $subsong): seeking to $seconds s"
  done
done <<'CASES'
opus_stereo.opus  0 opus_stereo.ref.wav  f32 1e-6 48000 2 --float
vorbis_stereo.ogg 0 vorbis_stereo.ref.wav s16 1   44100 2
flac_stereo.oga   0 flac_stereo.ref.wav   s16 0   44100 2
chain.ogg         1 c1.ref.wav            s16 1   48000 1
chain.ogg         2 c2.ref.wav            s16 1   44100 2
CASES
