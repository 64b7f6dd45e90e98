# The properties dialog through vorn-inspect under the test display, driven with xdotool over FLAC copies:
# captions, in-place editing and Apply, the field editors, Split values, Automatically fill values,
# Capitalize, the Editing Field table, the clipboard between dialogs, Remove tags, the Properties tab and
# a file spoiled while the dialog is open. Files are checked with mutagen; the audio must never change.
# Screenshots go to $VORN_BUILD_DIR/screenshots/properties-*.png.
# Every step waits for the effect of the one before it: the tool runs with --trace and writes a line as the
# keyboard focus moves, a window is shown, enabled or destroyed, a list cell is set or a menu opens or closes.
# Keys go to the X window of the dialog that holds the keyboard focus (xdotool key --window), and only once the
# focus is where the keys must go: without a window manager the display's own input focus may still rest on a
# window that has just closed, and keys sent there are lost.
# serial: real keyboard input on the shared display
# It runs on request until these waits have been seen to pass run after run, also on a loaded machine.
[ "${VORN_PROPERTIES_WINDOW_TEST:-0}" = 1 ] || skip "set VORN_PROPERTIES_WINDOW_TEST=1 to run it"
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
# A screenshot of the display as it is (the waits before it have made sure of what it shows).
shot() { import -window root "$shots/properties-$1.png" || fail "no screenshot $1"; }

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
T=$'\t'
# The properties dialog's caption ("Properties - A", "Properties (3 items) - ..."); the question box is
# "Properties" alone.
main='Properties (-|\().*'

# props ARGS...: starts the tool in the background; its lines are read from the start.
props() {
  : > "$out"
  seen=0
  wine "$VORN_INSPECT" properties "$@" --profile "$profile" --trace > "$out" 2>&1 < /dev/null &
  pid=$!
}
# give_up WHY: a screenshot, the tool's lines, and the failure.
give_up() {
  shot "failed"
  echo "--- the tool's lines:" >&2; tr -d '\r' < "$out" >&2
  local w
  for w in $(xdotool search --name . 2>/dev/null || true); do echo "window: $(xdotool getwindowname "$w")" >&2; done
  fail "$1"
}
# await_for SECONDS REGEX: waits for a line of the tool's output after the last one awaited that matches the
# extended regular expression; the line goes to $got. Status 1 when the time ran out.
await_for() {
  local i hit alive=1
  for i in $(seq $(( $1 * 20 ))); do
    hit=$(awk -v from="$seen" -v re="$2" 'NR > from { sub(/\r$/, ""); if ($0 ~ re) { print NR "\t" $0; exit } }' "$out")
    if [ -n "$hit" ]; then seen=${hit%%"$T"*}; got=${hit#*"$T"}; return 0; fi
    [ $alive = 1 ] || give_up "the tool ended while a line '$2' was awaited"
    kill -0 "$pid" 2>/dev/null || alive=0   # one more look at what it wrote before it ended
    sleep 0.05
  done
  return 1
}
# await REGEX WHAT: the same with 60 seconds; a failure when none came.
await() { await_for 60 "$1" || give_up "no line '$1': $2"; }
# xwin REGEX: waits for a shown X window with that name; its id goes to $win.
xwin() {
  local i w
  for i in $(seq 300); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$w" ] && { win=$w; return 0; }
    sleep 0.1
  done
  give_up "no window named $1"
}
# focused TOP CLASS: waits until the keyboard focus is in a window of class CLASS inside a top-level window
# whose caption matches TOP (both extended regular expressions); that top-level window becomes $win.
focused() {
  local i last top=${1#^}
  top=${top%\$}
  local re="^focus${T}(${top})${T}(${2})\$"
  for i in $(seq 1200); do
    last=$(grep "^focus$T" "$out" | tail -n1 | tr -d '\r' || true)
    if [[ $last =~ $re ]]; then xwin "^(${top})\$"; return 0; fi
    kill -0 "$pid" 2>/dev/null || give_up "the tool ended while the focus was awaited in $2 of $1"
    sleep 0.05
  done
  give_up "the focus never came to $2 in $1 (last: $last)"
}
# opened: waits for the next dialog and the focus in its list; its caption goes to $caption.
opened() {
  await '^opened ' "a properties dialog opens"
  caption=${got#opened }
  focused "$main" SysListView32
}
# finished [STATUS]: waits (at most 60 s) for the tool to end with the status (0 by default).
finished() {
  local rc i
  for i in $(seq 600); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && { kill $pid; give_up "the tool did not end"; }
  set +e; wait $pid; rc=$?; set -e
  [ "$rc" -eq "${1:-0}" ] || give_up "the tool ended with $rc, expected ${1:-0}"
}
# press KEYS...: the keys, to the window of the last `focused` or `xwin`.
press() { xdotool key --window "$win" --delay 60 "$@"; }
# type_text TEXT: the text as keys (a capital or "%" with its Shift key: Wine takes Shift from the key events
# it has seen, not from the state sent along with a key).
type_text() {
  local text=$1 i c keys=()
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    case "$c" in
      [a-z0-9]) keys+=("$c") ;;
      [A-Z]) keys+=("shift+${c,,}") ;;
      ' ') keys+=(space) ;;
      '%') keys+=(shift+5) ;;
      '.') keys+=(period) ;;
      '-') keys+=(minus) ;;
      *) give_up "type_text: no key for '$c'" ;;
    esac
  done
  press "${keys[@]}"
}
# The properties dialog's places, in pixels of its client area (the X window is the client area: the test
# display has no window manager): the buttons, and the rows of the shown list.
# click_at TITLE-REGEX X Y [CLASS]: the window is looked up at the click (Wine may make a new X window for
# it). The click is repeated (at most five times) until the tool has taken the button's press for a CLASS
# window (any by default) of that window: after a sub-dialog, question or task has ended, the first click may
# only give the dialog the mouse again. A click that never arrived had no effect, so repeating it hides nothing.
click_at() {
  local n top
  for n in 1 2 3 4 5; do
    xwin "$1"
    xdotool mousemove --window "$win" "$2" "$3" click 1 || give_up "could not click into $1"
    top=${1#^}
    await_for 5 "^click$T${top%\$}$T${4:-.*}\$" && return 0
  done
  give_up "five clicks at $2,$3 into $1 never arrived"
}
press_ok() { click_at "^($main)\$" 286 387; }
press_cancel() { click_at "^($main)\$" 380 387; }
press_apply() { click_at "^($main)\$" 474 387; }
press_tools() { click_at "^($main)\$" 51 387; }
# click_row ROW [name|value]
click_row() { click_at "^($main)\$" "$([ "${2:-name}" = value ] && echo 200 || echo 60)" $(( 56 + 14 * $1 )); }
# context_item UPS: the list's context menu from the keyboard, the item UPS steps up from the bottom.
context_item() {
  press shift+F10
  await "^menu${T}open\$" "the context menu opens"
  local keys=() n
  for n in $(seq "$1"); do keys+=(Up); done
  press "${keys[@]}" Return
  await "^menu${T}closed\$" "the context menu closes"
}
# modified: waits until the dialog enables Apply (something was changed).
modified() { await "^enable$T$main${T}Apply${T}1\$" "Apply is enabled"; }

# --- captions for 1, 3 and 5 tracks, one dialog after another ---------------------------------------------
for t in A B C D E; do make "cap/$t.flac" TITLE=$t ARTIST=Art; done
props cap/A.flac + cap/A.flac cap/B.flac cap/C.flac + cap/A.flac cap/B.flac cap/C.flac cap/D.flac cap/E.flac
n=0
for expected in 'Properties - A' 'Properties (3 items) - "A", "B", "C"' 'Properties (5 items) - "A", "B", "C", "D" ...'; do
  n=$((n + 1))
  opened
  expect_eq "$caption" "$expected" "caption of dialog $n"
  shot "caption-$n"
  press Escape
  await "^gone$T$main\$" "dialog $n closes on Escape"
done
finished

# --- in-place edit of the title, then Apply ---------------------------------------------------------------
make edit/one.flac TITLE=Old ARTIST=Someone
props edit/one.flac
opened
click_row 1 value
focused "$main" Edit
type_text "New Title"
press Return
await "^cell$T$main${T}1${T}1${T}New Title\$" "the title row shows the new title"
modified
shot inplace-edited
press_apply
await "^enable$T$main${T}Apply${T}0\$" "Apply is disabled again"
await "^caption${T}Properties - New Title\$" "the dialog reads the file again after Apply"
shot inplace-applied
press_cancel
finished
expect_eq "$(field edit/one.flac title)" "New Title" "title after Apply"
expect_eq "$(field edit/one.flac artist)" "Someone" "artist kept"
expect_eq "$(audio_md5 edit/one.flac)" "$md5_src" "audio after Apply"

# --- add field; the overwrite question; the name first in the history of the next run ----------------------
make add/one.flac TITLE=T
props add/one.flac
opened
press ctrl+n
await "^shown${T}New Field\$" "the add dialog opens"
focused '^New Field$' 'Edit|ComboBox'
type_text "MOOD"
press Tab
type_text "calm"
shot add-field
click_at '^New Field$' 308 304
await "^cell$T$main${T}[0-9]+${T}1${T}calm\$" "the new row shows its value"
await "^gone${T}New Field\$" "the add dialog has closed"
focused "$main" SysListView32
press ctrl+n
await "^shown${T}New Field\$" "the add dialog opens"
focused '^New Field$' 'Edit|ComboBox'
type_text "TITLE"
press Tab
type_text "x"
click_at '^New Field$' 308 304
await "^shown${T}New Field\$" "the overwrite question comes"
focused '^New Field$' Button          # the question's No, its default button
shot overwrite-question
press n                               # No: the add dialog stays
await "^gone${T}New Field\$" "the question closes on No"
focused '^New Field$' '.*'
xdotool search --name '^New Field$' > /dev/null || give_up "the add dialog closed after No"
press Escape
await "^gone${T}New Field\$" "the add dialog closes on Escape"
press_ok
finished
expect_eq "$(field add/one.flac mood)" "calm" "added field"
expect_eq "$(field add/one.flac title)" "T" "title not overwritten"
"$PY" -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(0 if b"MOOD\nARTIST\nTITLE\n" in d else 1)' \
  "$profile/config.dat" || fail "MOOD is not first in the saved field name history"
props add/one.flac
opened
press ctrl+n
await "^shown${T}New Field\$" "the add dialog opens"
focused '^New Field$' 'Edit|ComboBox'
press alt+Down
shot add-field-history
press Escape Escape
await "^gone${T}New Field\$" "the add dialog closes"
focused "$main" SysListView32
press Escape
finished

# --- remove a field ---------------------------------------------------------------------------------------
make rm/one.flac TITLE=T MOOD=x
props rm/one.flac
opened
click_row 14
press Delete
modified
shot removed-field
press_ok
finished
expect_eq "$(field rm/one.flac mood)" "" "removed field"
expect_eq "$(field rm/one.flac title)" "T" "other field kept"

# --- Split values on "Rock & Roll, Blues" --------------------------------------------------------------------
make split/one.flac "GENRE=Rock & Roll, Blues"
props split/one.flac
opened
click_row 4
context_item 4
focused '^Split Values$' '.*'
shot split-values
click_at '^Split Values$' 254 215
await "^gone${T}Split Values\$" "Split Values closes on OK"
modified
press_ok
finished
expect_eq "$(field split/one.flac genre)" "Rock|Roll|Blues" "split genre"

# --- Capitalize ---------------------------------------------------------------------------------------------
make caps/one.flac "TITLE=hello wORLD"
props caps/one.flac
opened
click_row 1
context_item 6
await "^cell$T$main${T}1${T}1${T}Hello World\$" "the title row capitalized"
shot capitalized
press_ok
finished
expect_eq "$(field caps/one.flac title)" "Hello World" "capitalized title"

# --- Automatically fill values; a track the pattern does not match loses the fields -----------------------
make "af/Artist/Album/01. Foo - Bar.flac" TITLE=x
make af/b.flac ARTIST=Keep TITLE=Keep
props "af/Artist/Album/01. Foo - Bar.flac" af/b.flac
opened
context_item 1
focused '^Automatically Fill Values$' ComboBox
press Tab
type_text '%tracknumber%. %artist% - %title%'
await "^cell${T}Automatically Fill Values${T}0${T}[0-9]+${T}Bar\$" "the preview shows the title"
shot autofill-preview
click_at '^Automatically Fill Values$' 483 385
await "^gone${T}Automatically Fill Values\$" "the auto-fill dialog closes on OK"
modified
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
opened
click_row 0
press shift+F10
await "^menu${T}open\$" "the context menu opens"
press Down Return
await "^menu${T}closed\$" "the context menu closes"
focused '^Editing Field: Artist$' SysListView32
shot edit-field-individual
press Down F2
focused '^Editing Field: Artist$' Edit
type_text "X"
press Return
await "^cell${T}Editing Field: Artist${T}1${T}[0-9]+${T}X\$" "the second track's cell shows X"
shot edit-field-cell
click_at '^Editing Field' 308 310
await "^gone${T}Editing Field: Artist\$" "Editing Field closes on OK"
modified
press_ok
finished
expect_eq "$(field ed/a.flac artist)|$(field ed/b.flac artist)" "X|B" "one track's artist"

# --- typing and erasing in the in-place editor of differing values changes nothing -------------------------
props ed/a.flac ed/b.flac
opened
click_row 0 value
focused "$main" Edit
type_text "Q"
press BackSpace Return
focused "$main" SysListView32
press_ok                    # nothing modified: the dialog closes without writing
finished
expect_eq "$(field ed/a.flac artist)|$(field ed/b.flac artist)" "X|B" "artists after typing and erasing"

# --- copy in one dialog, Paste fields and Paste in the next ------------------------------------------------
make cp/a.flac GENRE=Jazz TITLE=A
make cp/b.flac TITLE=B
props cp/a.flac + cp/b.flac
opened
click_row 4
press ctrl+c Escape
await "^gone$T$main\$" "the first dialog closes on Escape"
opened
press ctrl+shift+v
await "^cell$T$main${T}4${T}1${T}Jazz\$" "Paste fields fills the genre"
click_row 13
press ctrl+v
await "^cell$T$main${T}13${T}1${T}Jazz\$" "Paste fills the comment"
shot pasted
press_ok
finished
expect_eq "$(field cp/b.flac genre)|$(field cp/b.flac comment)|$(field cp/b.flac title)" "Jazz|Jazz|B" "pasted fields"

# --- Tools > Remove tags, after the warning -----------------------------------------------------------------
make rt/a.flac TITLE=T ARTIST=A
make rt/b.flac TITLE=U
props rt/a.flac rt/b.flac
opened
press_tools
await "^menu${T}open\$" "the Tools menu opens"
press Up Return
await "^menu${T}closed\$" "the Tools menu closes"
await "^shown${T}Warning\$" "the warning comes"
focused '^Warning$' Button
shot remove-tags-warning
press y
await "^gone${T}Warning\$" "the warning closes on Yes"
# The dialog reads the files again once the tags are gone, and is enabled again.
await "^enable$T$main$T$T1\$" "the dialog is enabled after Remove tags"
expect_eq "$(tag_count rt/a.flac)|$(tag_count rt/b.flac)" "0|0" "tags left after Remove tags"
press_cancel
finished
expect_eq "$(audio_md5 rt/a.flac)" "$md5_src" "audio after Remove tags"

# --- the Properties tab and its copy text ---------------------------------------------------------------------
make pt/a.flac TITLE=T
props pt/a.flac --tab 2
await '^opened ' "the dialog opens on the Properties tab"
focused "$main" SysListView32
shot details-tab
press ctrl+a ctrl+c ctrl+Tab
click_row 13
press ctrl+v
await "^cell$T$main${T}13${T}1${T}.+" "Paste puts the Details text into the comment"
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
opened
head -c 200 sp/b.flac > spoiled && cat spoiled > sp/b.flac
click_row 1 value
focused "$main" Edit
type_text "All"
press Return
modified
press_apply
await "^shown${T}Information\$" "the report comes"
focused '^Information$' Button
shot spoiled-report
press Return                 # the report's OK
await "^gone${T}Information\$" "the report closes"
press_cancel                 # still modified: the question comes
await "^shown${T}Properties\$" "the save question comes"
focused '^Properties$' Button
shot save-changes
press n
finished
expect_eq "$(field sp/a.flac title)|$(field sp/c.flac title)" "All|All" "the files that could be written"
