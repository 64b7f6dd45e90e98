#!/bin/bash
# The tag view's cost over the library benchmark's files and a generated 100,000-track set: runs
# browse_bench.exe in the build's Wine session over the profile that library_bench.sh indexed, then over
# synthetic browse records:
#
#     tools/bench/browse_bench.sh [TRACKS...]          (after ./vorn build; default 100000)
#
# When BUILD/bench-library holds no indexed 10,000-file library, library_bench.sh 10000 makes and indexes
# it first (and prints its own figures). VORN_ARCH (i686, the default, or x86_64) and VORN_BUILD_DIR
# choose the build as ./vorn does. Needs what library_bench.sh needs (sox, flac, python3-mutagen).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ARCH=${VORN_ARCH:-i686}
BUILD=${VORN_BUILD_DIR:-$ROOT/build}
[ "$ARCH" = x86_64 ] && BUILD="$BUILD-x86_64"
[ -f "$BUILD/browse_bench.exe" ] || { echo "browse_bench.sh: build first (./vorn build)" >&2; exit 1; }

DIR="$BUILD/bench-library"
if [ "$(cat "$DIR/count" 2>/dev/null)" != 10000 ] || [ ! -f "$DIR/profile/database.dat" ]; then
  echo "browse_bench.sh: indexing the library benchmark's 10,000 files first" >&2
  VORN_ARCH=$ARCH "$ROOT/tools/bench/library_bench.sh" 10000 >&2
fi

source "$ROOT/tools/env/session.sh"
vorn_session_start "$BUILD" "$ARCH" >/dev/null
wine "$BUILD/browse_bench.exe" --profile "$(winepath -w "$DIR/profile" 2>/dev/null)" "${@:-100000}" 2>&1 < /dev/null \
  | tr -d '\r' | grep -v '^wine: Read access denied'
