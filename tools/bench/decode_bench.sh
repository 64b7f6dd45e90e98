#!/bin/bash
# Makes one file per format with Debian's encoders from the same SECONDS (default 300) of 44.1 kHz stereo
# 16-bit audio and runs decode_bench.exe over them in the build's Wine session:
#
#     tools/bench/decode_bench.sh [SECONDS] [--rounds N]       (after ./vorn build)
#
# VORN_ARCH (i686, the default, or x86_64) and VORN_BUILD_DIR choose the build as ./vorn does.
# The files stay in BUILD/bench-files and are made again only for another length. Needs sox, flac, oggenc
# (vorbis-tools), opusenc (opus-tools), wavpack, mpcenc (musepack-tools), ffmpeg and python3.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ARCH=${VORN_ARCH:-i686}
BUILD=${VORN_BUILD_DIR:-$ROOT/build}
[ "$ARCH" = x86_64 ] && BUILD="$BUILD-x86_64"
SECONDS_OF_AUDIO=300
if [ $# -gt 0 ] && [[ $1 =~ ^[0-9]+$ ]]; then SECONDS_OF_AUDIO=$1; shift; fi
[ -f "$BUILD/decode_bench.exe" ] || { echo "decode_bench.sh: build first (./vorn build)" >&2; exit 1; }
for tool in sox flac oggenc opusenc wavpack mpcenc ffmpeg python3; do
  command -v $tool >/dev/null || { echo "decode_bench.sh: $tool is not installed" >&2; exit 1; }
done

DIR="$BUILD/bench-files"
if [ "$(cat "$DIR/seconds" 2>/dev/null)" != "$SECONDS_OF_AUDIO" ]; then
  rm -rf "$DIR"
  mkdir -p "$DIR"
  cd "$DIR"
  echo "decode_bench.sh: making $SECONDS_OF_AUDIO s files in $DIR" >&2
  # A tone sweeping over the keyboard on the left, pink noise on the right: neither silent nor white noise.
  sox -V1 -D -n -r 44100 -b 16 -c 2 bench.wav synth "$SECONDS_OF_AUDIO" sine 110-1760 pinknoise vol 0.5
  flac -s -f -5 bench.wav -o bench.flac
  flac -s -f -5 --ogg bench.wav -o bench.oga
  oggenc -Q -q 5 bench.wav -o bench.ogg
  opusenc --quiet --bitrate 128 bench.wav bench.opus
  wavpack -q -y bench.wav -o bench.wv
  mkdir -p hybrid
  wavpack -q -y -b256 -c bench.wav -o hybrid/bench.wv
  mpcenc --silent --overwrite --standard bench.wav bench.mpc
  ffmpeg -nostdin -v error -y -i bench.wav -c:a alac bench.m4a
  python3 "$ROOT/tests/inputs/alac_frames.py" bench.m4a bench.alac
  echo "$SECONDS_OF_AUDIO" > seconds
  cd - >/dev/null
fi

source "$ROOT/tools/env/session.sh"
vorn_session_start "$BUILD" "$ARCH"
files=()
for f in bench.flac bench.oga bench.ogg bench.opus bench.wv hybrid/bench.wv bench.wav bench.mpc bench.alac; do
  files+=("$(winepath -w "$DIR/$f" 2>/dev/null)")
done
wine "$BUILD/decode_bench.exe" "$@" "${files[@]}"
