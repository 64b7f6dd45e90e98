# A WMA tag write that runs out of space part way fails with an error and leaves the file byte-identical, with
# no temporary file behind. Needs a small file system of its own (a tmpfs mount, so root).
command -v ffmpeg >/dev/null || fail "ffmpeg is not installed"
small="$VORN_TEST_TMP/small"
mkdir -p "$small"
mount -t tmpfs -o size=192k tmpfs "$small" 2>/dev/null || skip "no small file system can be mounted here"
trap 'umount "$small" 2>/dev/null || true' EXIT

# About 130 KB: the file fits, a second copy of it does not.
ffmpeg -v error -y -f lavfi -i "sine=frequency=440:duration=8:sample_rate=44100" -ac 2 -c:a wmav2 -b:a 128k \
    -metadata title=Before "$small/a.wma" || fail "ffmpeg"
before=$(md5sum "$small/a.wma" | cut -d' ' -f1)
set +e
wine "$VORN_INSPECT" write "$small/a.wma" title=After artist=Someone 2> err.txt < /dev/null
rc=$?
set -e
[ "$rc" != 0 ] || fail "a write on a full file system succeeded"
[ -s err.txt ] || fail "no error text"
[ "$(md5sum "$small/a.wma" | cut -d' ' -f1)" = "$before" ] || fail "the failed write changed the file"
[ "$(ls "$small")" = "a.wma" ] || fail "left behind: $(ls "$small")"
wine "$VORN_INSPECT" info "$small/a.wma" 2>err.txt < /dev/null | grep -qxF "meta title=Before" ||
  { cat err.txt >&2; fail "the file no longer reads"; }
