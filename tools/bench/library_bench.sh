#!/bin/bash
# Indexing speed and memory of the library: COUNT (default 10000) tagged FLAC files in about 100 folders,
# read once by mutagen (the anchor), then by vorn-inspect's library command from an empty profile (cold)
# and again from the database.dat that run saved (warm):
#
#     tools/bench/library_bench.sh [COUNT]          (after ./vorn build)
#
# Prints mutagen's files/s, the cold run's files/s (files read over index-ms), the warm run's files read
# (0) and load-ms, bytes per track from the runs' private bytes, cold/mutagen, and the ceiling: a program that
# only opens, reads and closes every file (open_read_bench.exe). VORN_ARCH (i686, the
# default, or x86_64) and VORN_BUILD_DIR choose the build as ./vorn does. The files stay in
# BUILD/bench-library and are made again only for another count. Needs sox, flac and python3-mutagen.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ARCH=${VORN_ARCH:-i686}
BUILD=${VORN_BUILD_DIR:-$ROOT/build}
[ "$ARCH" = x86_64 ] && BUILD="$BUILD-x86_64"
COUNT=${1:-10000}
PY=/usr/bin/python3
[ -f "$BUILD/vorn-inspect.exe" ] && [ -f "$BUILD/open_read_bench.exe" ] || { echo "library_bench.sh: build first (./vorn build)" >&2; exit 1; }
for tool in sox flac; do command -v $tool >/dev/null || { echo "library_bench.sh: $tool is not installed" >&2; exit 1; }; done
"$PY" -c 'import mutagen' 2>/dev/null || { echo "library_bench.sh: python3-mutagen is not installed" >&2; exit 1; }

DIR="$BUILD/bench-library"
MUSIC="$DIR/music"
if [ "$(cat "$DIR/count" 2>/dev/null)" != "$COUNT" ]; then
  rm -rf "$DIR"
  mkdir -p "$MUSIC"
  echo "library_bench.sh: making $COUNT files in $MUSIC" >&2
  sox -V1 -D -n -r 44100 -b 16 -c 2 "$DIR/base.wav" synth 0.5 sine 440 vol 0.3
  flac -s -f "$DIR/base.wav" -o "$DIR/base.flac"
  "$PY" - "$DIR/base.flac" "$MUSIC" "$COUNT" <<'PYEOF'
import os, shutil, sys
from mutagen.flac import FLAC
base, music, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
folders = max(1, count // 100)
for i in range(count):
    d = os.path.join(music, "Artist %03d - Album %d" % (i % folders, i % folders % 7))
    os.makedirs(d, exist_ok=True)
    path = os.path.join(d, "%05d Track.flac" % i)
    shutil.copyfile(base, path)
    f = FLAC(path)
    f["title"] = "Track %d" % i
    f["artist"] = "Artist %03d" % (i % folders)
    f["albumartist"] = "Artist %03d" % (i % folders)
    f["genre"] = ["Rock", "Jazz", "Folk"][i % 3]
    f["album"] = "Album %d" % (i % folders % 7)
    f["tracknumber"] = str(i % 20 + 1)
    f["discnumber"] = "1"
    f["date"] = str(1960 + i % 60)
    f.save()
PYEOF
  echo "$COUNT" > "$DIR/count"
fi

# The anchor: mutagen reading the eight fields of every file.
mutagen_rate=$("$PY" - "$MUSIC" <<'PYEOF'
import os, sys, time
from mutagen.flac import FLAC
paths = [os.path.join(r, n) for r, _, names in os.walk(sys.argv[1]) for n in names]
keys = ["title", "artist", "albumartist", "genre", "album", "tracknumber", "discnumber", "date"]
start = time.perf_counter()
for p in paths:
    tags = FLAC(p).tags
    [tags.get(k) for k in keys]
print("%.0f" % (len(paths) / (time.perf_counter() - start)))
PYEOF
)

source "$ROOT/tools/env/session.sh"
vorn_session_start "$BUILD" "$ARCH" >/dev/null
PROFILE="$DIR/profile"
run() { wine "$BUILD/vorn-inspect.exe" library "$(winepath -w "$PROFILE" 2>/dev/null)" "$@" 2>&1 < /dev/null | tr -d '\r'; }
value() { awk -F'\t' -v k="$1" '$1 == k { print $2 }' <<<"$2"; }
memory_per_track() {
  awk -F'\t' '$1 == "memory" { m = $3 - $2 } $1 == "items" { n = $2 } END { if (n) printf "%.0f", m / n; else print "-" }' <<<"$1"
}

rm -rf "$PROFILE"
cold=$(run --folder "$(winepath -w "$MUSIC" 2>/dev/null)" --system-folders 0 --monitor 1)
warm=$(run)
cold_read=$(value read "$cold")
cold_ms=$(value index-ms "$cold")
cold_rate=$(awk -v n="$cold_read" -v ms="$cold_ms" 'BEGIN { printf("%.0f", (ms > 0 ? n * 1000 / ms : 0)) }')
printf 'files                 %s in %s folders\n' "$(value items "$cold")" "$(find "$MUSIC" -type d | wc -l)"
printf 'mutagen               %s files/s\n' "$mutagen_rate"
printf 'cold                  %s files/s (%s read in %s ms)\n' "$cold_rate" "$cold_read" "$cold_ms"
printf 'warm                  read %s, load-ms %s, index-ms %s\n' "$(value read "$warm")" "$(value load-ms "$warm")" \
  "$(value index-ms "$warm")"
printf 'bytes per track       cold %s, warm %s\n' "$(memory_per_track "$cold")" "$(memory_per_track "$warm")"
printf 'cold/mutagen          %s\n' "$(awk -v a="$cold_rate" -v b="$mutagen_rate" 'BEGIN { printf("%.2f", (b > 0 ? a / b : 0)) }')"
ceiling=$(wine "$BUILD/open_read_bench.exe" "$(winepath -w "$MUSIC" 2>/dev/null)" 2>&1 < /dev/null | tr -d '\r')
printf 'ceiling               %s files/s opening, reading and closing only (%s files/s opening and closing)\n' \
  "$(awk '/^open\+read\+close/ { print $2 }' <<<"$ceiling")" "$(awk '/^open\+close/ { print $2 }' <<<"$ceiling")"
