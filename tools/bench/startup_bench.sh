#!/bin/bash
# Start-up of the player over a large stored library: a database.dat of TRACKS generated tracks (default
# 100000) written in the library's own stored form by startup_bench.exe, monitoring off so nothing is read
# from disk, the albums level as the view to open. The player is started RUNS times (default 3) over that
# profile and RUNS times over the same profile with an empty library, alternating, in one run:
#
#     tools/bench/startup_bench.sh [TRACKS] [RUNS]          (after ./vorn build)
#
# For each start it waits for the main window's debugger line "First painted view: N rows, T ms after
# start" (the list's first paint) and takes T (the player's own count from its process creation) and the
# wall time from launching `wine vorn.exe` to the line. Then startup_bench.exe times the albums level and
# the "All songs" level of the view over the same database.dat: opening each and rebuilding it.
# Prints per library: rows shown, the best and median of both times; then the view figures. VORN_ARCH
# (i686, the default, or x86_64) and VORN_BUILD_DIR choose the build as ./vorn does. Files stay in
# BUILD/bench-startup.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ARCH=${VORN_ARCH:-i686}
BUILD=${VORN_BUILD_DIR:-$ROOT/build}
[ "$ARCH" = x86_64 ] && BUILD="$BUILD-x86_64"
TRACKS=${1:-100000}
RUNS=${2:-3}
for program in vorn.exe vorn-inspect.exe startup_bench.exe; do
  [ -f "$BUILD/$program" ] || { echo "startup_bench.sh: build first (./vorn build)" >&2; exit 1; }
done

source "$ROOT/tools/env/session.sh"
vorn_session_start "$BUILD" "$ARCH" >/dev/null
win() { winepath -w "$1" 2>/dev/null; }

DIR="$BUILD/bench-startup"
rm -rf "$DIR"
mkdir -p "$DIR/music"
# One program folder per library, each with its portable profile beside the program.
nav_guid="{6490F07D-F12E-4963-8946-FDE5DCC08F3A}"
albums_level=00000000020000000000000000000000   # kind 0 (tags), two levels without keys: all albums
for library in empty full; do
  app="$DIR/$library"
  mkdir -p "$app/vorn-configuration"
  cp "$BUILD/vorn.exe" "$app/vorn.exe"
  touch "$app/vorn.exe.localconfig.opt"
  profile="$app/vorn-configuration"
  # config.dat: the one watched folder, no system folders, monitoring off (also writes an empty database.dat).
  wine "$BUILD/vorn-inspect.exe" library "$(win "$profile")" --folder "$(win "$DIR/music")" --system-folders 0 \
    --monitor 0 > "$DIR/inspect-$library.log" 2>&1 < /dev/null || { cat "$DIR/inspect-$library.log" >&2; exit 1; }
  wine "$BUILD/vorn-inspect.exe" config "$(win "$profile")" "$nav_guid=$albums_level" >> "$DIR/inspect-$library.log" \
    2>&1 < /dev/null || { cat "$DIR/inspect-$library.log" >&2; exit 1; }
done
wine "$BUILD/startup_bench.exe" make "$(win "$DIR/full/vorn-configuration")" "$(win "$DIR/music")" "$TRACKS" 2>&1 \
  < /dev/null | tr -d '\r' >&2

now_ms() { date +%s%3N; }
# The wait for the first paint must not load the machine it measures: polling with a new grep and sleep
# every 10 ms made the player's own start-up 150-350 ms slower. Bash builtins only: the log read with
# mapfile, the pause a timed read on a pipe that never delivers.
exec {idle_fd}<> <(:)
pause() { read -r -t "$1" -u "$idle_fd" _ || true; }
paint_pattern='First painted view: ([0-9]+) rows, ([0-9]+) ms after start'
# start LIBRARY: one start of the player; prints "ROWS OWN_MS WALL_MS".
start() {
  local app="$DIR/$1" log="$DIR/$1.log" begin pid line i text lines
  : > "$log"
  begin=$(now_ms)
  (cd "$app" && WINEDEBUG=+debugstr exec wine ./vorn.exe > "$log" 2>&1 < /dev/null) &
  pid=$!
  line=
  for ((i = 0; i < 12000; ++i)); do
    mapfile -t lines < "$log"
    for text in "${lines[@]}"; do
      [[ $text =~ $paint_pattern ]] && { line="${BASH_REMATCH[1]} ${BASH_REMATCH[2]}"; break 2; }
    done
    kill -0 "$pid" 2>/dev/null || break
    pause 0.01
  done
  local wall=$(( $(now_ms) - begin ))
  (cd "$app" && wine ./vorn.exe /exit > /dev/null 2>&1 < /dev/null) || true
  for i in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  wait "$pid" 2>/dev/null || true
  [ -n "$line" ] || { echo "startup_bench.sh: no first paint from the $1 library" >&2; tail -n 20 "$log" >&2; exit 1; }
  echo "$line $wall"
}

: > "$DIR/empty.times"
: > "$DIR/full.times"
for run in $(seq "$RUNS"); do
  start empty >> "$DIR/empty.times"
  start full >> "$DIR/full.times"
done
# pick FILE COLUMN: "best median" of a column of a times file.
pick() {
  sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { printf("%d %d", v[1], v[int((NR + 1) / 2)]) }'
}
summary() {  # summary LIBRARY
  local own wall
  own=($(pick "$DIR/$1.times" 2))
  wall=($(pick "$DIR/$1.times" 3))
  printf '%-6s %7s rows   after process creation: best %5d ms, median %5d ms   after launch: best %5d ms, median %5d ms\n' \
    "$1" "$(head -n1 "$DIR/$1.times" | cut -d' ' -f1)" "${own[0]}" "${own[1]}" "${wall[0]}" "${wall[1]}"
}
echo "start-up to the first painted view (albums level), $RUNS starts each"
summary empty
summary full
echo "views over $TRACKS tracks"
wine "$BUILD/startup_bench.exe" views "$(win "$DIR/full/vorn-configuration")" 2>&1 < /dev/null | tr -d '\r' |
  grep -v '^wine: Read access denied' | sed 's/^/  /'
