# The properties dialog through vorn-inspect under the test display, driven with xdotool over FLAC copies:
# captions, in-place editing and Apply, the field editors, Split values, Automatically fill values,
# Capitalize, the Editing Field table, the clipboard between dialogs, Remove tags, the Properties tab and
# a file spoiled while the dialog is open. Files are checked with mutagen and flac; the audio must never change.
# Screenshots go to $VORN_BUILD_DIR/screenshots/properties-*.png.
# Every step waits for the effect of the one before it: the tool runs with --trace and writes a line as the
# keyboard focus moves, a window is shown, enabled or destroyed, a list cell or a message is set or a menu opens
# or closes. Keys go to the X window of the dialog that holds the keyboard focus (xdotool key --window), and only
# once the focus is where the keys must go: without a window manager the display's own input focus may still
# rest on a window that has just closed, and keys sent there are lost. A key or click whose effect did not come
# is sent again only while nothing at all has come of it.
# One run of the tool opens many dialogs one after another (groups of paths separated by "+"): each Wine start
# costs seconds. A new run comes only where the saved profile is read again, or the opener's tab differs.
# serial: real keyboard input on the shared display
PY=/usr/bin/python3
"$PY" -c 'import mutagen' 2>/dev/null || fail "python3-mutagen is not installed"
command -v xdotool >/dev/null || fail "xdotool is not installed"
command -v metaflac >/dev/null || fail "flac is not installed"
shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"
rm -f "$shots"/properties-*.png

# fields FILE NAME...: the values of those fields, each joined by "|", the fields separated by "/".
fields() {
  "$PY" -c '
import mutagen, sys
f = mutagen.File(sys.argv[1])
print("/".join("|".join(f.tags.get(n, []) if f.tags else []) for n in sys.argv[2:]))' "$@"
}
tag_count() { "$PY" -c 'import mutagen, sys; f = mutagen.File(sys.argv[1]); print(len(f.tags or []))' "$1"; }
# audio_kept FILE...: the audio of each file is the source's: the same stored MD5, and it decodes to it.
audio_kept() {
  local f
  for f in "$@"; do
    expect_eq "$(metaflac --show-md5sum "$f")" "$md5_src" "stored audio MD5 of $f"
    flac -s -t "$f" 2>/dev/null || fail "the audio of $f no longer decodes to its MD5"
  done
}
# A screenshot of the display as it is (the waits before it have made sure of what it shows).
shot() { import -window root "$shots/properties-$1.png" || fail "no screenshot $1"; }

sox -V1 -D -n -r 44100 -b 16 -c 2 src.wav synth 1 sine 440 || fail "sox"
flac -s -f src.wav -o probe.flac || fail "flac"
md5_src=$(metaflac --show-md5sum probe.flac)
# fixtures [PATH TAG=VALUE... ;]...: copies of the probe file with those tags, made in one go.
fixtures() {
  "$PY" -c '
import mutagen.flac, os, shutil, sys
path = None
for arg in sys.argv[1:] + [";"]:
    if arg == ";":
        if path: f.save()
        path = None
    elif path is None:
        path = arg
        os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
        shutil.copyfile("probe.flac", path)
        f = mutagen.flac.FLAC(path)
        if f.tags is None: f.add_tags()
    else:
        name, value = arg.split("=", 1)
        f.tags[name] = f.tags.get(name, []) + [value]
' "$@" || fail "fixtures"
}

out="$VORN_TEST_TMP/inspect.out"
profile="$VORN_TEST_TMP/profile"
mkdir -p "$profile"
pid=
T=$'\t'
# The properties dialog's caption ("Properties - A", "Properties (3 items) - ..."); the question box is
# "Properties" alone.
main='Properties (-|[(]).*'

# stop_tool: ends a run of the tool that is still going (the test failed): the Wine loader under the `wine`
# wrapper, then the wrapper.
stop_tool() {
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 0
  local child
  for child in $(ps -o pid= --ppid "$pid" 2>/dev/null); do kill "$child" 2>/dev/null || true; done
  kill "$pid" 2>/dev/null || true
}
trap stop_tool EXIT
# props ARGS...: starts the tool in the background; its lines are read from the start.
props() {
  : > "$out"
  mark=0
  wine "$VORN_INSPECT" properties "$@" --profile "$profile" --trace > "$out" 2>&1 < /dev/null &
  pid=$!
}
# step NAME: the scenario that follows, named in its failures; the time it began goes to the log.
step_name=
step() { step_name=$1; echo "[${SECONDS}s] $1" >&2; }
# give_up WHY: a screenshot, the tool's lines, and the failure.
give_up() {
  shot "failed"
  echo "--- the tool's lines:" >&2; tr -d '\r' < "$out" >&2
  local w
  for w in $(xdotool search --name . 2>/dev/null || true); do echo "window: $(xdotool getwindowname "$w")" >&2; done
  fail "${step_name:+$step_name: }$1"
}
# Every key and click first sets $mark to the number of lines the tool has written so far; the waits below look
# only at the lines written after it, in any order (one input may have several effects whose order is the
# dialog's business, such as Apply enabled before the sub-dialog is gone).
mark=0
set_mark() { mark=$(wc -l < "$out"); }
# await_for SECONDS REGEX: waits for a line after $mark that matches the extended regular expression; the line
# goes to $got. Status 1 when the time ran out.
await_for() {
  local hit alive=1 until=$((SECONDS + $1))
  while :; do
    hit=$(awk -v from="$mark" -v re="$2" 'NR > from { sub(/\r$/, ""); if ($0 ~ re) { print; exit } }' "$out")
    if [ -n "$hit" ]; then got=$hit; return 0; fi
    [ $alive = 1 ] || give_up "the tool ended while a line '$2' was awaited"
    [ $SECONDS -lt $until ] || return 1
    kill -0 "$pid" 2>/dev/null || alive=0   # one more look at what it wrote before it ended
    sleep 0.05
  done
}
# await REGEX WHAT: the same with 60 seconds; a failure when none came.
await() { await_for 60 "$1" || give_up "no line '$1': $2"; }
# xwin REGEX: waits (at most 30 s) for a shown X window with that name; its id goes to $win.
xwin() {
  local w until=$((SECONDS + 30))
  while [ $SECONDS -lt $until ]; do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$w" ] && { win=$w; return 0; }
    sleep 0.1
  done
  give_up "no window named $1"
}
# focused TOP CLASS: waits until the keyboard focus is in a window of class CLASS inside a top-level window
# whose caption matches TOP (both extended regular expressions); that top-level window becomes $win.
focused() {
  local last top=${1#^} until=$((SECONDS + 60))
  top=${top%\$}
  local re="^focus${T}(${top})${T}(${2})\$"
  while [ $SECONDS -lt $until ]; do
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
# closed: waits until the properties dialog is gone (after OK it is gone once the files are written).
closed() { await "^gone$T$main\$" "the properties dialog closes"; }
# finished [STATUS]: waits (at most 60 s) for the tool to end with the status (0 by default).
finished() {
  local rc until=$((SECONDS + 60))
  while [ $SECONDS -lt $until ] && kill -0 $pid 2>/dev/null; do sleep 0.1; done
  kill -0 $pid 2>/dev/null && give_up "the tool did not end"
  set +e; wait $pid; rc=$?; set -e
  [ "$rc" -eq "${1:-0}" ] || give_up "the tool ended with $rc, expected ${1:-0}"
}
# press KEYS...: the keys, to the window of the last `focused` or `xwin`.
press() { set_mark; xkeys "$@"; }
# xkeys KEYS...: the keys without a new mark. xdotool's complaint about the display's input focus (the test
# display has no window manager, so that focus rests on the root) is left out.
xkeys() { xdotool key --window "$win" --delay 60 "$@" 2> >(grep -v '^XGetInputFocus returned' >&2 || true); }
# press_for REGEX WHAT KEYS...: the keys, then a wait for their effect (a line matching REGEX). When nothing at
# all came of them in 10 s (not a line, and their window is still there) they are sent once more.
press_for() {
  local re=$1 what=$2 n
  shift 2
  press "$@"
  for n in 1 2; do
    await_for 10 "$re" && return 0
    [ "$(wc -l < "$out")" -eq "$mark" ] && xdotool getwindowname "$win" > /dev/null 2>&1 || break
    echo "[${SECONDS}s] nothing came of the keys $* in 10 s: sending them again" >&2
    xkeys "$@"
  done
  await "$re" "$what"
}
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
# only give the dialog the mouse again. A click that never arrived had no effect, so repeating it hides nothing;
# a window that has gone in the meantime took an earlier click (what it did is checked by the waits after it).
click_at() {
  local n top=${1#^}
  top=${top%\$}
  set_mark
  for n in 1 2 3 4 5; do
    if [ $n -gt 1 ]; then
      xdotool search --onlyvisible --name "$1" > /dev/null 2>&1 || return 0
      echo "[${SECONDS}s] the click at $2,$3 into $1 was not taken in 10 s: clicking again" >&2
    fi
    xwin "$1"
    xdotool mousemove --window "$win" "$2" "$3" click 1 || give_up "could not click into $1"
    await_for 10 "^click$T$top$T${4:-.*}\$" && return 0
  done
  give_up "five clicks at $2,$3 into $1 never arrived"
}
press_ok() { click_at "^($main)\$" 286 387; }
press_cancel() { click_at "^($main)\$" 380 387; }
press_apply() { click_at "^($main)\$" 474 387; }
press_tools() { click_at "^($main)\$" 51 387; }
# click_row ROW [name|value]
click_row() { click_at "^($main)\$" "$([ "${2:-name}" = value ] && echo 200 || echo 60)" $(( 56 + 14 * $1 )); }
# context_item Up|Down N: the list's context menu from the keyboard, the item N steps up from the bottom or
# down from the top (disabled items count, separators do not).
context_item() {
  press_for "^menu${T}open\$" "the context menu opens" shift+F10
  local keys=() n
  for n in $(seq "$2"); do keys+=("$1"); done
  press "${keys[@]}" Return
  await "^menu${T}closed\$" "the context menu closes"
}
# modified: waits until the dialog enables Apply (something was changed).
modified() { await "^enable$T$main${T}Apply${T}1\$" "Apply is enabled"; }
# escape_dialog: Escape closes the properties dialog (sent again when it had no effect).
escape_dialog() { press_for "^gone$T$main\$" "the properties dialog closes on Escape" Escape; }

fixtures \
  cap/A.flac TITLE=A ARTIST=Art \; cap/B.flac TITLE=B ARTIST=Art \; cap/C.flac TITLE=C ARTIST=Art \; \
  cap/D.flac TITLE=D ARTIST=Art \; cap/E.flac TITLE=E ARTIST=Art \; \
  edit/one.flac TITLE=Old ARTIST=Someone \; add/one.flac TITLE=T \; rm/one.flac TITLE=T MOOD=x \; \
  split/one.flac "GENRE=Rock & Roll, Blues" \; caps/one.flac "TITLE=hello wORLD" \; \
  "af/Artist/Album/01. Foo - Bar.flac" TITLE=x \; af/b.flac ARTIST=Keep TITLE=Keep \; \
  ed/a.flac ARTIST=A TITLE=a \; ed/b.flac ARTIST=B TITLE=b \; cp/a.flac GENRE=Jazz TITLE=A \; cp/b.flac TITLE=B \; \
  rt/a.flac TITLE=T ARTIST=A \; rt/b.flac TITLE=U \; pt/a.flac TITLE=T \; \
  sp/a.flac TITLE=A \; sp/b.flac TITLE=B \; sp/c.flac TITLE=C
autofilled="af/Artist/Album/01. Foo - Bar.flac"

# ============ First run: captions, in-place edit and Apply, add field =====================================
props cap/A.flac + cap/A.flac cap/B.flac cap/C.flac + cap/A.flac cap/B.flac cap/C.flac cap/D.flac cap/E.flac \
  + edit/one.flac + add/one.flac

# --- captions for 1, 3 and 5 tracks, one dialog after another ---------------------------------------------
step "captions"
n=0
for expected in 'Properties - A' 'Properties (3 items) - "A", "B", "C"' 'Properties (5 items) - "A", "B", "C", "D" ...'; do
  n=$((n + 1))
  opened
  expect_eq "$caption" "$expected" "caption of dialog $n"
  shot "caption-$n"
  escape_dialog
done

# --- in-place edit of the title, then Apply ---------------------------------------------------------------
step "in-place edit"
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
await "^gone${T}Updating Files\$" "the progress window closes"
shot inplace-applied
expect_eq "$(fields edit/one.flac title artist)" "New Title/Someone" "title and artist after Apply"
press_cancel
closed

# --- add field; the overwrite question; the name first in the history of the next run ----------------------
step "add field"
opened
press_for "^shown${T}New Field\$" "the add dialog opens" ctrl+n
focused '^New Field$' 'Edit|ComboBox'
type_text "MOOD"
press Tab
type_text "calm"
shot add-field
click_at '^New Field$' 308 304
await "^cell$T$main${T}[0-9]+${T}1${T}calm\$" "the new row shows its value"
await "^gone${T}New Field\$" "the add dialog has closed"
focused "$main" SysListView32
press_for "^shown${T}New Field\$" "the add dialog opens" ctrl+n
focused '^New Field$' 'Edit|ComboBox'
type_text "TITLE"
press Tab
type_text "x"
click_at '^New Field$' 308 304
await "^shown${T}New Field\$" "the overwrite question comes"
focused '^New Field$' Button          # the question's No, its default button
shot overwrite-question
press_for "^gone${T}New Field\$" "the question closes on No" n   # No: the add dialog stays
focused '^New Field$' '.*'
xdotool search --name '^New Field$' > /dev/null || give_up "the add dialog closed after No"
press_for "^gone${T}New Field\$" "the add dialog closes on Escape" Escape
focused "$main" SysListView32
press_ok
closed
finished
expect_eq "$(fields add/one.flac mood title)" "calm/T" "added field, title not overwritten"
"$PY" -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(0 if b"MOOD\nARTIST\nTITLE\n" in d else 1)' \
  "$profile/config.dat" || fail "MOOD is not first in the saved field name history"

# ============ Second run: the commands of the Metadata tab, Remove tags, a spoiled file ======================
props add/one.flac + rm/one.flac + split/one.flac + caps/one.flac + "$autofilled" af/b.flac + ed/a.flac ed/b.flac \
  + ed/a.flac ed/b.flac + cp/a.flac + cp/b.flac + rt/a.flac rt/b.flac + sp/a.flac sp/b.flac sp/c.flac

step "add field history"
opened
press_for "^shown${T}New Field\$" "the add dialog opens" ctrl+n
await "^combo${T}[^$T]*${T}" "the name box gets the history"
expect_eq "$got" "combo${T}New Field${T}MOOD" "the first name of the history"
focused '^New Field$' 'Edit|ComboBox'
press alt+Down
shot add-field-history
press Escape Escape
await "^gone${T}New Field\$" "the add dialog closes"
focused "$main" SysListView32
escape_dialog

# --- remove a field ---------------------------------------------------------------------------------------
step "remove field"
opened
click_row 14
press Delete
modified
shot removed-field
press_ok
closed
expect_eq "$(fields rm/one.flac mood title)" "/T" "removed field, the other kept"

# --- Split values on "Rock & Roll, Blues" --------------------------------------------------------------------
step "split values"
opened
click_row 4
context_item Up 4
focused '^Split Values$' '.*'
shot split-values
click_at '^Split Values$' 254 215
await "^gone${T}Split Values\$" "Split Values closes on OK"
modified
press_ok
closed
expect_eq "$(fields split/one.flac genre)" "Rock|Roll|Blues" "split genre"

# --- Capitalize ---------------------------------------------------------------------------------------------
step "capitalize"
opened
click_row 1
context_item Up 6
await "^cell$T$main${T}1${T}1${T}Hello World\$" "the title row capitalized"
shot capitalized
press_ok
closed
expect_eq "$(fields caps/one.flac title)" "Hello World" "capitalized title"

# --- Automatically fill values; a track the pattern does not match loses the fields -----------------------
step "auto-fill"
opened
context_item Up 1
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
closed
expect_eq "$(fields "$autofilled" tracknumber artist title)" "01/Foo/Bar" "filled from the file name"
expect_eq "$(fields af/b.flac tracknumber artist title)" "b//" "the track that did not match"

# --- Edit on differing artists: Editing Field on Individual values, one cell written ----------------------
step "editing field"
opened
click_row 0
context_item Down 1                   # Edit
focused '^Editing Field: Artist$' SysListView32
shot edit-field-individual
press Home Down F2                    # the second track's cell
focused '^Editing Field: Artist$' Edit
type_text "X"
press Return
await "^cell${T}Editing Field: Artist${T}1${T}[0-9]+${T}X\$" "the second track's cell shows X"
shot edit-field-cell
click_at '^Editing Field: Artist$' 308 310
await "^gone${T}Editing Field: Artist\$" "Editing Field closes on OK"
modified
press_ok
closed
expect_eq "$(fields ed/a.flac artist)|$(fields ed/b.flac artist)" "A|X" "one track's artist"

# --- typing and erasing in the in-place editor of differing values changes nothing -------------------------
step "type and erase"
opened
click_row 0 value
focused "$main" Edit
type_text "Q"
press BackSpace Return
focused "$main" SysListView32
press_ok                    # nothing modified: the dialog closes without writing
closed
expect_eq "$(fields ed/a.flac artist)|$(fields ed/b.flac artist)" "A|X" "artists after typing and erasing"

# --- copy in one dialog, Paste fields and Paste in the next ------------------------------------------------
step "copy and paste"
opened
click_row 4
press ctrl+c
escape_dialog
opened
press_for "^cell$T$main${T}4${T}1${T}Jazz\$" "Paste fields fills the genre" ctrl+shift+v
click_row 13
press_for "^cell$T$main${T}13${T}1${T}Jazz\$" "Paste fills the comment" ctrl+v
shot pasted
press_ok
closed
expect_eq "$(fields cp/b.flac genre comment title)" "Jazz/Jazz/B" "pasted fields"

# --- Tools > Remove tags, after the warning -----------------------------------------------------------------
step "remove tags"
opened
press_tools
await "^menu${T}open\$" "the Tools menu opens"
press Up Return
await "^menu${T}closed\$" "the Tools menu closes"
await "^shown${T}Warning\$" "the warning comes"
focused '^Warning$' Button
shot remove-tags-warning
press_for "^gone${T}Warning\$" "the warning closes on Yes" y
# The dialog is enabled again and reads the files again once the tags are gone: no titles in its caption.
await "^enable$T$main$T${T}1\$" "the dialog is enabled after Remove tags"
await "^caption${T}Properties [(]2 items[)] - \"a\", \"b\"\$" "the caption without titles"
await "^gone${T}Removing Tags\$" "the progress window closes"
expect_eq "$(tag_count rt/a.flac)|$(tag_count rt/b.flac)" "0|0" "tags left after Remove tags"
press_cancel
closed

# --- a file spoiled after opening: one report, the others written, the dialog still modified ---------------
step "spoiled file"
opened
head -c 200 sp/b.flac > spoiled && cat spoiled > sp/b.flac
click_row 1 value
focused "$main" Edit
type_text "All"
press Return
modified
press_apply
await "^shown${T}Information\$" "the report comes"
await "^text${T}[^$T]*${T}Could not write information [(].+[)] to: +\"[^\"]+.sp.b[.]flac\" *\$" \
  "the report names the spoiled file (and it alone)"
focused '^Information$' '.*'
shot spoiled-report
press_for "^gone${T}Information\$" "the report closes on Escape" Escape   # its text takes Return
press_cancel                 # still modified: the question comes
await "^shown${T}Properties\$" "the save question comes"
await "^text${T}Properties${T}Save changes[?]\$" "the question asks to save the changes"
focused '^Properties$' Button
shot save-changes
press n
closed
finished
expect_eq "$(grep -c "^shown${T}Information" "$out")" 1 "reports of the failed write"
expect_eq "$(fields sp/a.flac title)|$(fields sp/c.flac title)" "All|All" "the files that could be written"
cmp -s spoiled sp/b.flac || fail "the spoiled file was changed"

# ============ Third run: the dialog opened on the Properties tab, and its copy text ===========================
step "properties tab"
props pt/a.flac --tab 2
await '^opened ' "the dialog opens on the Properties tab"
focused "$main" SysListView32
await "^cell${T}Properties[^$T]*${T}[0-9]+${T}1${T}FLAC / [^/]+ / [0-9]+ kbps / stereo / 44100 Hz / 16-bit\$" "the Format row"
shot details-tab
press ctrl+a ctrl+c ctrl+Tab
click_row 13
press_for "^cell$T$main${T}13${T}1${T}.+" "Paste puts the Details text into the comment" ctrl+v
press_ok
closed
finished
comment=$(fields pt/a.flac comment)
case "$comment" in
  *"Format : FLAC / "*"stereo / 44100 Hz / 16-bit"*) ;;
  *) fail "copied Details text: $comment" ;;
esac
case "$comment" in *"File name : a.flac"*) ;; *) fail "no file name in the copied text: $comment" ;; esac

audio_kept edit/one.flac add/one.flac rm/one.flac split/one.flac caps/one.flac "$autofilled" af/b.flac ed/a.flac \
  ed/b.flac cp/b.flac rt/a.flac rt/b.flac pt/a.flac sp/a.flac sp/c.flac
