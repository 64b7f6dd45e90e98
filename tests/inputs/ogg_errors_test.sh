# Damaged and foreign Ogg files fail with clear errors and never crash: truncated files, bad checksums,
# missing or misplaced headers, a multiplexed second stream, unknown codecs; a damaged audio page only loses
# its own audio.
source "$VORN_SOURCE_DIR/tests/inputs/ogg_fixtures.sh"

# pages FILE: "offset length serial flags" for each page.
pages() {
  python3 - "$1" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
pos = 0
while pos + 27 <= len(d) and d[pos:pos + 4] == b"OggS":
    n = d[pos + 26]
    length = 27 + n + sum(d[pos + 27:pos + 27 + n])
    print(pos, length, struct.unpack("<I", d[pos + 14:pos + 18])[0], d[pos + 5])
    pos += length
PY
}
# page_at FILE N: offset and length of page N (from 0).
page_at() { pages "$1" | awk -v n="$(($2 + 1))" 'NR == n { print $1, $2 }'; }

make_wav tone 44100 2 2
oggenc -Q -s 7 tone.wav -o good.ogg && opusenc --quiet --serial 8 tone.wav good.opus || fail "encoding"
oggenc -Q -s 9 -t Other tone.wav -o other.ogg || fail "oggenc other"
oggdec -Q good.ogg -o good.wav || fail "oggdec"
size=$(stat -c %s good.ogg)

# expect_failure TEXT ID COMMAND...: the command fails (exit status 1, no crash) naming TEXT or ID.
expect_failure() {
  local text=$1 id=$2
  shift 2
  set +e
  inspect "$@" > out.txt
  local status=$?
  set -e
  expect_eq "$status" 1 "exit status of '$*'"
  expect_error "$text" "$id"
}

# Not Ogg at all, empty, an unknown codec.
head -c 4000 /dev/urandom > noise.ogg
expect_failure "Unsupported format or corrupted file" "exception_io_data" info "$PWD/noise.ogg"
: > empty.ogg
expect_failure "Unsupported format or corrupted file" "exception_io_data" info "$PWD/empty.ogg"
python3 - <<'PY'
# One Ogg page holding a "Speex   " beginning-of-stream packet (no decoder knows it).
import struct
def crc(data):
    c = 0
    for b in data:
        c ^= b << 24
        for _ in range(8):
            c = ((c << 1) ^ 0x04C11DB7) & 0xFFFFFFFF if c & 0x80000000 else (c << 1) & 0xFFFFFFFF
    return c
body = b"Speex   " + bytes(72)
page = bytearray(b"OggS" + bytes([0, 2]) + struct.pack("<qIII", 0, 5, 0, 0) + bytes([1, len(body)]) + body)
struct.pack_into("<I", page, 22, crc(page))
open("speex.spx", "wb").write(page)
PY
expect_failure "Unsupported format or corrupted file" "exception_io_data" info "$PWD/speex.spx"

# Cut inside the headers: no audio can be read.
head -c 200 good.ogg > cut_head.ogg
expect_failure "Unsupported format or corrupted file" "exception_io_data" decode "$PWD/cut_head.ogg" 0 "$PWD/x.raw"

# The first page missing: its stream starts without a beginning-of-stream packet.
read -r first_offset first_length < <(page_at good.ogg 0)
tail -c +$((first_length + 1)) good.ogg > no_bos.ogg
expect_failure "corrupted file: first packet not flagged as BOS" "exception_io_data" decode "$PWD/no_bos.ogg" 0 "$PWD/x.raw"

# The comment and setup headers missing (page 1 dropped): the codec refuses the audio as headers.
read -r second_offset second_length < <(page_at good.ogg 1)
{ head -c "$second_offset" good.ogg; tail -c +$((second_offset + second_length + 1)) good.ogg; } > no_setup.ogg
expect_failure "Unsupported format or corrupted file" "exception_io_data" decode "$PWD/no_setup.ogg" 0 "$PWD/x.raw"

# A second stream whose beginning-of-stream page follows the first one's (multiplexed, unsupported).
read -r other_offset other_length < <(page_at other.ogg 0)
{ head -c "$first_length" good.ogg; head -c "$other_length" other.ogg; tail -c +$((first_length + 1)) good.ogg; } > muxed.ogg
expect_failure "corrupted file: unexpected BOS packet" "exception_io_data" decode "$PWD/muxed.ogg" 0 "$PWD/x.raw"

# Truncated in the middle of the audio: what is there decodes (the same samples as far as it goes).
head -c $((size / 2 + 333)) good.ogg > half.ogg
inspect info "$PWD/half.ogg" > info.txt || { cat err.txt >&2; fail "info of a truncated file"; }
inspect decode "$PWD/half.ogg" 0 "$PWD/half.raw" || { cat err.txt >&2; fail "decode of a truncated file"; }
got=$(stat -c %s half.raw)
[ "$got" -gt 0 ] || fail "nothing decoded from the first half"
python3 "$VORN_SOURCE_DIR/tests/inputs/pcm_compare.py" half.raw <(python3 - good.wav "$got" <<'PY'
import struct, sys
d = open(sys.argv[1], "rb").read()
i = d.find(b"data")
data = d[i + 8:i + 8 + int(sys.argv[2])]
hdr = d[:i] + b"data" + struct.pack("<I", len(data))
sys.stdout.buffer.write(hdr[:4] + struct.pack("<I", len(hdr) + len(data) - 8) + hdr[8:] + data)
PY
) s16 1 || fail "a truncated file decodes other samples than the whole one"

# A bad checksum in an audio page: the page is skipped, decoding goes on to the end.
read -r bad_offset bad_length < <(page_at good.ogg 4)
cp good.ogg badcrc.ogg
printf '\xAA' | dd of=badcrc.ogg bs=1 seek=$((bad_offset + 22)) conv=notrunc 2>/dev/null
inspect decode "$PWD/badcrc.ogg" 0 "$PWD/badcrc.raw" || { cat err.txt >&2; fail "decode with a bad checksum"; }
[ "$(stat -c %s badcrc.raw)" -gt $(( $(stat -c %s good.wav) / 2 )) ] || fail "decoding stopped at the bad page"
# ... and a damaged Opus page the same.
read -r bad_offset bad_length < <(page_at good.opus 2)
cp good.opus badcrc.opus
printf '\xAA' | dd of=badcrc.opus bs=1 seek=$((bad_offset + 40)) conv=notrunc 2>/dev/null
inspect decode "$PWD/badcrc.opus" 0 "$PWD/badcrc.raw" --float || { cat err.txt >&2; fail "decode Opus with a bad page"; }

# Writing tags into a damaged file fails and leaves it as it was.
cp no_setup.ogg keep.ogg
expect_failure "Unsupported format or corrupted file" "exception_io_data" write "$PWD/keep.ogg" "TITLE=x"
cmp -s keep.ogg no_setup.ogg || fail "a failed tag write changed the file"
