# The properties dialog through vorn-inspect under the test display, driven with xdotool over FLAC copies:
# captions, in-place editing and Apply, the field editors, Split values, Automatically fill values,
# Capitalize, the Editing Field table, the clipboard between dialogs, Remove tags, the Properties tab and
# a file spoiled while the dialog is open. Files are checked with mutagen; the audio must never change.
# Screenshots go to $VORN_BUILD_DIR/screenshots/properties-*.png.
# serial: real keyboard input on the shared display
PY=/usr/bin/python3
"$PY" -c 'import mutagen' 2>/dev/null || fail "python3-mutagen is not installed"
command -v xdotool >/dev/null || fail "xdotool is not installed"
shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"

# The values of a field, joined by "|" (empty when absent).
field() {
  "$PY" -c '
import mutagen, sys
f = mutagen.File(sys.argv[1])
print("|".join(f.tags.get(sys.argv[2], []) if f.tags else []))' "$1" "$2"
}
tag_count() { "$PY" -c 'import mutagen, sys; f = mutagen.File(sys.argv[1]); print(len(f.tags or []))' "$1"; }
audio_md5() { metaflac --show-md5sum "$1"; }
shot() { sleep 0.4; import -window root "$shots/properties-$1.png" || fail "no screenshot $1"; }

sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 1 sine 440 || fail "sox"
# make NAME TAG=VALUE...: a FLAC file with those tags.
make() {
  local name=$1; shift
  mkdir -p "$(dirname "$name")"
  flac -s -f src.wav -o "$name" || fail "flac $name"
  local tag
  for tag in "$@"; do metaflac --set-tag="$tag" "$name"; done
}
md5_src=$(flac -s -f src.wav -o probe.flac && audio_md5 probe.flac)

out="$VORN_TEST_TMP/inspect.out"
profile="$VORN_TEST_TMP/profile"
mkdir -p "$profile"
pid=

# props ARGS...: starts the tool in the background.
props() {
  : > "$out"
  wine "$VORN_INSPECT" properties "$@" --profile "$profile" > "$out" 2>&1 < /dev/null &
  pid=$!
}
# opened N: waits for the N-th dialog; prints its caption.
opened() {
  local i
  for i in $(seq 300); do
    [ "$(grep -c '^opened ' "$out")" -ge "$1" ] && break
    kill -0 $pid 2>/dev/null || { cat "$out" >&2; fail "the tool ended before dialog $1"; }
    sleep 0.1
  done
  [ "$(grep -c '^opened ' "$out")" -ge "$1" ] || { cat "$out" >&2; fail "dialog $1 never opened"; }
  sleep 0.8
  grep '^opened ' "$out" | sed -n "${1}p" | sed 's/^opened //; s/\r$//'
}
# window TITLE-REGEX: waits for a window with that name and prints its id.
window() {
  local i w
  for i in $(seq 100); do
    w=$(xdotool search --name "$1" 2>/dev/null | head -n1)
    [ -n "$w" ] && { sleep 0.3; echo "$w"; return 0; }
    sleep 0.1
  done
  fail "no window named $1"
}
# finished [STATUS]: waits (at most 30 s) for the tool to end with the status (0 by default).
finished() {
  local rc i
  for i in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && { kill $pid; shot stuck; cat "$out" >&2; fail "the tool did not end"; }
  set +e; wait $pid; rc=$?; set -e
  [ "$rc" -eq "${1:-0}" ] || { cat "$out" >&2; fail "the tool ended with $rc, expected ${1:-0}"; }
}
key() { xdotool key --delay 80 "$@"; sleep 0.3; }
type_text() { xdotool type --delay 40 "$1"; sleep 0.3; }
# The properties dialog's places, in pixels of its client area (the X window is the client area: the test
# display has no window manager): the buttons, and the rows of the shown list.
dialog() { window '^Properties'; }
click_at() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.5; }
press_ok() { click_at "$(dialog)" 286 387; }
press_cancel() { click_at "$(dialog)" 380 387; }
press_apply() { click_at "$(dialog)" 474 387; }
press_tools() { click_at "$(dialog)" 51 387; }
# click_row ROW [name|value]
click_row() { click_at "$(dialog)" "$([ "${2:-name}" = value ] && echo 200 || echo 60)" $(( 56 + 14 * $1 )); }

# --- captions for 1, 3 and 5 tracks, one dialog after another ---------------------------------------------
for t in A B C D E; do make "cap/$t.flac" TITLE=$t ARTIST=Art; done
props cap/A.flac + cap/A.flac cap/B.flac cap/C.flac + cap/A.flac cap/B.flac cap/C.flac cap/D.flac cap/E.flac
expect_eq "$(opened 1)" 'Properties - A' "one track"
shot caption-1
key Escape
expect_eq "$(opened 2)" 'Properties (3 items) - "A", "B", "C"' "three tracks"
shot caption-3
key Escape
expect_eq "$(opened 3)" 'Properties (5 items) - "A", "B", "C", "D" ...' "five tracks"
shot caption-5
key Escape
finished

# --- in-place edit of the title, then Apply ---------------------------------------------------------------
make edit/one.flac TITLE=Old ARTIST=Someone
props edit/one.flac
opened 1 > /dev/null
click_row 1 value
type_text "New Title"
key Return
shot inplace-edited
press_apply
sleep 1.5
shot inplace-applied
key Escape
finished
expect_eq "$(field edit/one.flac title)" "New Title" "title after Apply"
expect_eq "$(field edit/one.flac artist)" "Someone" "artist kept"
expect_eq "$(audio_md5 edit/one.flac)" "$md5_src" "audio after Apply"
