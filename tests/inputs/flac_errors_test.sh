# Damaged and foreign files: reading, decoding and writing fail with the I/O exceptions' texts (exit 1, no
# crash) or, where libFLAC can go on, decode what is there; a write that fails leaves the file as it was.
source "$VORN_SOURCE_DIR/tests/inputs/flac_fixtures.sh"

make_flac good 44100 16 2
flac -s -d -f good.flac -o good.ref.wav && data_chunk good.ref.wav good.ref.pcm
size=$(stat -c %s good.flac)

head -c 30 good.flac > cut_in_metadata.flac
head -c 1000 /dev/urandom > noise.flac
{ printf 'fLaX'; tail -c +5 good.flac; } > bad_marker.flac
cp good.flac no_rate.flac       # STREAMINFO's 20-bit sample rate starts at byte 18
printf '\x00\x00' | dd of=no_rate.flac bs=1 seek=18 conv=notrunc 2>/dev/null
printf "\\x$(printf %02x $(( $(od -An -tu1 -j20 -N1 good.flac) & 15 )))" | dd of=no_rate.flac bs=1 seek=20 conv=notrunc 2>/dev/null
cp good.flac good.xyz

# file               command arguments            text                                    id
while read -r file command text; do
  id=${text##*|}
  text=${text%|*}
  sum=$(md5sum < "$file" 2>/dev/null || true)
  set +e
  case $command in
    info)   inspect info "$PWD/$file" > out.txt ;;
    decode) inspect decode "$PWD/$file" 0 "$PWD/out.pcm" ;;
    write)  inspect write "$PWD/$file" ARTIST=X ;;
  esac
  rc=$?
  set -e
  expect_eq "$rc" 1 "exit status of $command $file"
  expect_error "$text" "$id"
  expect_eq "$(md5sum < "$file" 2>/dev/null || true)" "$sum" "$file after $command"
  [ -e out.pcm ] && fail "decode $file left its output behind"
  ls temp-*.tmp >/dev/null 2>&1 && fail "a temporary file was left beside $file"
done <<'CASES'
cut_in_metadata.flac info   Unsupported format or corrupted file|exception_io_data
cut_in_metadata.flac decode Unsupported format or corrupted file|exception_io_data
cut_in_metadata.flac write  Unsupported format or corrupted file|exception_io_data
noise.flac           info   Unsupported format or corrupted file|exception_io_data
noise.flac           write  Unsupported format or corrupted file|exception_io_data
bad_marker.flac      info   Unsupported format or corrupted file|exception_io_data
bad_marker.flac      write  Unsupported format or corrupted file|exception_io_data
no_rate.flac         info   Unsupported format or corrupted file|exception_io_data
no_rate.flac         write  Unsupported format or corrupted file|exception_io_data
good.xyz             info   Unsupported file format|exception_io_unsupported_format
good.xyz             write  Unsupported file format|exception_io_unsupported_format
missing.flac         info   Object not found|exception_io_not_found
CASES

# Audio cut off in the middle: what is there decodes, and it is the start of the whole stream.
head -c $((size * 2 / 3)) good.flac > cut_in_audio.flac
inspect decode "$PWD/cut_in_audio.flac" 0 "$PWD/cut.pcm" || { cat err.txt >&2; fail "decode of a cut file"; }
[ -s cut.pcm ] || fail "nothing decoded from a cut file"
[ "$(stat -c %s cut.pcm)" -lt "$(stat -c %s good.ref.pcm)" ] || fail "a cut file decoded to full length"
cmp -s cut.pcm <(head -c "$(stat -c %s cut.pcm)" good.ref.pcm) || fail "a cut file decoded to other samples"

# Damage inside a frame: libFLAC skips it and decoding goes on to the end; the frames before it are intact.
cp good.flac damaged.flac
printf '\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff' | \
  dd of=damaged.flac bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
inspect decode "$PWD/damaged.flac" 0 "$PWD/damaged.pcm" || { cat err.txt >&2; fail "decode of a damaged file"; }
expect_eq "$(stat -c %s damaged.pcm)" "$(stat -c %s good.ref.pcm)" "length of a damaged file's audio"
cmp -s <(head -c 40000 damaged.pcm) <(head -c 40000 good.ref.pcm) || fail "frames before the damage changed"
exit 0
