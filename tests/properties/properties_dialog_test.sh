# The properties dialog through vorn-inspect under the test display, driven with xdotool over FLAC copies:
# captions, in-place editing and Apply, the field editors, Split values, Automatically fill values,
# Capitalize, the Editing Field table, the clipboard between dialogs, Remove tags, the Properties tab and
# a file spoiled while the dialog is open. Files are checked with mutagen; the audio must never change.
# Screenshots go to $VORN_BUILD_DIR/screenshots/properties-*.png.
# serial: real keyboard input on the shared display
# Under Wine without a window manager a key sent just after a window opens or closes is now and then lost, and
# this run of 14 dialogs then fails at a random step: until the waits are made event-driven it runs on request.
[ "${VORN_PROPERTIES_WINDOW_TEST:-0}" = 1 ] || skip "set VORN_PROPERTIES_WINDOW_TEST=1 to run it (keys are lost now and then)"
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
    w=$(xdotool search --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$w" ] && { sleep 0.3; echo "$w"; return 0; }
    sleep 0.1
  done
  shot missing-window; for w in $(xdotool search --name . 2>/dev/null); do echo "window: $(xdotool getwindowname $w)" >&2; done
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
# click_at TITLE-REGEX X Y: the window is looked up at the click (Wine may make a new X window for it).
click_at() {
  local i
  for i in 1 2 3; do
    xdotool mousemove --window "$(window "$1")" "$2" "$3" click 1 2>/dev/null && { sleep 0.5; return 0; }
    sleep 0.3
  done
  fail "could not click into $1"
}
# A click into the tab strip beside the tabs: after a sub-dialog has closed, the first click into the
# dialog only makes it take the mouse again.
settle() { click_at '^Properties' 300 12; }
press_ok() { click_at '^Properties' 286 387; }
press_cancel() { click_at '^Properties' 380 387; }
press_apply() { click_at '^Properties' 474 387; }
press_tools() { click_at '^Properties' 51 387; }
# click_row ROW [name|value]
click_row() { click_at '^Properties' "$([ "${2:-name}" = value ] && echo 200 || echo 60)" $(( 56 + 14 * $1 )); }

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

# context_item UPS: the list's context menu from the keyboard, the item UPS steps up from the bottom.
context_item() {
  key shift+F10
  local n
  for n in $(seq "$1"); do key Up; done
  key Return
}

# --- add field; the overwrite question; the name first in the history of the next run ----------------------
make add/one.flac TITLE=T
props add/one.flac
opened 1 > /dev/null
key ctrl+n
window '^New Field' > /dev/null
type_text "MOOD"
key Tab
type_text "calm"
shot add-field
click_at '^New Field' 308 304
settle
key ctrl+n
window '^New Field' > /dev/null
type_text "TITLE"
key Tab
type_text "x"
click_at '^New Field' 308 304
shot overwrite-question
key n                       # No: the add dialog stays
sleep 0.3
xdotool search --name '^New Field' > /dev/null || fail "the add dialog closed after No"
key Escape
settle
press_ok
finished
expect_eq "$(field add/one.flac mood)" "calm" "added field"
expect_eq "$(field add/one.flac title)" "T" "title not overwritten"
"$PY" -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(0 if b"MOOD\nARTIST\nTITLE\n" in d else 1)' \
  "$profile/config.dat" || fail "MOOD is not first in the saved field name history"
props add/one.flac
opened 1 > /dev/null
key ctrl+n
window '^New Field' > /dev/null
key alt+Down
shot add-field-history
key Escape Escape Escape
finished

# --- remove a field ---------------------------------------------------------------------------------------
make rm/one.flac TITLE=T MOOD=x
props rm/one.flac
opened 1 > /dev/null
click_row 14
key Delete
shot removed-field
press_ok
finished
expect_eq "$(field rm/one.flac mood)" "" "removed field"
expect_eq "$(field rm/one.flac title)" "T" "other field kept"

# --- Split values on "Rock & Roll, Blues" --------------------------------------------------------------------
make split/one.flac "GENRE=Rock & Roll, Blues"
props split/one.flac
opened 1 > /dev/null
click_row 4
context_item 4
window '^Split Values' > /dev/null
shot split-values
click_at '^Split Values' 254 215
settle
press_ok
finished
expect_eq "$(field split/one.flac genre)" "Rock|Roll|Blues" "split genre"

# --- Capitalize ---------------------------------------------------------------------------------------------
make caps/one.flac "TITLE=hello wORLD"
props caps/one.flac
opened 1 > /dev/null
click_row 1
context_item 6
shot capitalized
press_ok
finished
expect_eq "$(field caps/one.flac title)" "Hello World" "capitalized title"

# --- Automatically fill values; a track the pattern does not match loses the fields -----------------------
make "af/Artist/Album/01. Foo - Bar.flac" TITLE=x
make af/b.flac ARTIST=Keep TITLE=Keep
props "af/Artist/Album/01. Foo - Bar.flac" af/b.flac
opened 1 > /dev/null
context_item 1
window '^Automatically Fill Values' > /dev/null
key Tab
type_text '%tracknumber%. %artist% - %title%'
sleep 0.6
shot autofill-preview
click_at '^Automatically Fill Values' 483 385
settle
shot autofill-filled
press_ok
finished
f="af/Artist/Album/01. Foo - Bar.flac"
expect_eq "$(field "$f" tracknumber)|$(field "$f" artist)|$(field "$f" title)" "01|Foo|Bar" "filled from the file name"
expect_eq "$(field af/b.flac tracknumber)|$(field af/b.flac artist)|$(field af/b.flac title)" "b||" "the track that did not match"
expect_eq "$(audio_md5 "$f")" "$md5_src" "audio after auto-fill"

# --- Edit on differing artists: Editing Field on Individual values, one cell written ----------------------
make ed/a.flac ARTIST=A TITLE=a
make ed/b.flac ARTIST=B TITLE=b
props ed/a.flac ed/b.flac
opened 1 > /dev/null
click_row 0
key shift+F10 Down Return
window '^Editing Field: Artist' > /dev/null
shot edit-field-individual
key Down F2
type_text "X"
key Return
shot edit-field-cell
click_at '^Editing Field' 308 310
settle
press_ok
finished
expect_eq "$(field ed/a.flac artist)|$(field ed/b.flac artist)" "X|B" "one track's artist"

# --- typing and erasing in the in-place editor of differing values changes nothing -------------------------
props ed/a.flac ed/b.flac
opened 1 > /dev/null
click_row 0 value
type_text "Q"
key BackSpace Return
press_ok                    # nothing modified: the dialog closes without writing
finished
expect_eq "$(field ed/a.flac artist)|$(field ed/b.flac artist)" "X|B" "artists after typing and erasing"

# --- copy in one dialog, Paste fields and Paste in the next ------------------------------------------------
make cp/a.flac GENRE=Jazz TITLE=A
make cp/b.flac TITLE=B
props cp/a.flac + cp/b.flac
opened 1 > /dev/null
click_row 4
key ctrl+c
key Escape
opened 2 > /dev/null
key ctrl+shift+v
click_row 13
key ctrl+v
shot pasted
press_ok
finished
expect_eq "$(field cp/b.flac genre)|$(field cp/b.flac comment)|$(field cp/b.flac title)" "Jazz|Jazz|B" "pasted fields"

# --- Tools > Remove tags, after the warning -----------------------------------------------------------------
make rt/a.flac TITLE=T ARTIST=A
make rt/b.flac TITLE=U
props rt/a.flac rt/b.flac
opened 1 > /dev/null
press_tools
key Up Return
window '^Warning' > /dev/null
shot remove-tags-warning
key y
# The progress window takes keys meanwhile (Escape there would abort): wait for the files.
for i in $(seq 100); do [ "$(tag_count rt/a.flac)$(tag_count rt/b.flac)" = 00 ] && break; sleep 0.1; done
sleep 1
settle
press_cancel
finished
expect_eq "$(tag_count rt/a.flac)|$(tag_count rt/b.flac)" "0|0" "tags left after Remove tags"
expect_eq "$(audio_md5 rt/a.flac)" "$md5_src" "audio after Remove tags"

# --- the Properties tab and its copy text ---------------------------------------------------------------------
make pt/a.flac TITLE=T
props pt/a.flac --tab 2
opened 1 > /dev/null
shot details-tab
key ctrl+a ctrl+c ctrl+Tab
click_row 13
key ctrl+v
press_ok
finished
comment=$(field pt/a.flac comment)
case "$comment" in
  *"Format : FLAC / "*"stereo / 44100 Hz / 16-bit"*) ;;
  *) fail "copied Details text: $comment" ;;
esac
case "$comment" in *"File name : a.flac"*) ;; *) fail "no file name in the copied text: $comment" ;; esac

# --- a file spoiled after opening: one report, the others written, the dialog still modified ---------------
make sp/a.flac TITLE=A
make sp/b.flac TITLE=B
make sp/c.flac TITLE=C
props sp/a.flac sp/b.flac sp/c.flac
opened 1 > /dev/null
head -c 200 sp/b.flac > spoiled && cat spoiled > sp/b.flac
click_row 1 value
type_text "All"
key Return
press_apply
for i in $(seq 100); do [ "$(field sp/c.flac title)" = All ] && break; sleep 0.1; done
sleep 1.5
shot spoiled-report
xdotool key --window "$(window '^Information')" Return   # the report's OK
sleep 0.5
# Without a window manager the keyboard focus may reach the dialog only a moment after the report has closed,
# and a key sent before that goes nowhere: Escape is sent again while no question has come.
for attempt in 1 2 3; do
  key Escape
  for i in $(seq 50); do xdotool search --name '^Properties$' > /dev/null 2>&1 && break 2; sleep 0.1; done
done
window '^Properties$' > /dev/null
shot save-changes
key n
finished
expect_eq "$(field sp/a.flac title)|$(field sp/c.flac title)" "All|All" "the files that could be written"
