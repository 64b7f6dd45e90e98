# The preferences dialog through vorn-inspect under the test display, driven with xdotool: the tree lists
# "Music folders" and "Playback"; selecting a page shows it and names it in the caption; on the Music
# folders page unticking the monitor box and adding a folder through the folder picker, then Apply, store
# both in config.dat at once; Cancel stores nothing; on the Playback page a configured device that is gone
# leaves the list without a selection and stays configured through OK, and choosing a device and Apply
# stores it. Every step waits for what the previous one did (a caption, a control's state, a window, the
# stored settings) before the next input. Screenshots go to $VORN_BUILD_DIR/screenshots/preferences-*.png.
# serial: real keyboard and mouse input on the shared display
command -v xdotool >/dev/null || fail "xdotool is not installed"
shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"
out="$VORN_TEST_TMP/inspect.out"
profile="$VORN_TEST_TMP/profile"
controls="$VORN_TEST_TMP/controls.txt"
pid=

shot_prefix=preferences
source "$VORN_SOURCE_DIR/tests/support/preferences_support.sh"
stored() { wine "$VORN_INSPECT" preferences "$profile" --show 2>/dev/null | tr -d '\r'; }
stored_has() { stored | grep -qxF -- "$1"; }
# open [ARGS]: starts the dialog over the profile and waits for it.
open() {
  : > "$out"
  wine "$VORN_INSPECT" preferences "$profile" "$@" > "$out" 2>&1 < /dev/null &
  pid=$!
  until_ok "the dialog" grep -q '^opened' "$out"
  until_ok "the dialog's window" has_window '^Preferences'
}
# finished: waits (at most 30 s) for the tool to end with status 0.
finished() {
  local rc i
  for i in $(seq 150); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
  kill -0 $pid 2>/dev/null && { kill $pid; shot stuck; cat "$out" >&2; fail "the tool did not end"; }
  set +e; wait $pid; rc=$?; set -e
  [ "$rc" -eq 0 ] || { cat "$out" >&2; fail "the tool ended with $rc"; }
}

added="$VORN_TEST_TMP/Added music"
mkdir -p "$added"
added_win=$(winpath "$added")
[ -n "$added_win" ] || fail "no Windows path for $added"

# --- Music folders -----------------------------------------------------------------------------------------
open
read_controls
expect_eq "$(field 1068 7 | cut -d' ' -f1-2)" "items 2" "the tree: two pages"
tree_item 0
until_ok "the Music folders page" has_window '^Preferences: Music folders$'
until_ok "the monitor box" control_is 1166 7 "check 1"
expect_eq "$(field 1074 5)" "disabled" "Apply before any change"
shot folders

click 1166
until_ok "the monitor box cleared" control_is 1166 7 "check 0"
until_ok "Apply enabled" control_is 1074 5 "enabled"

click 1033
until_ok "the folder picker" has_window '^Choose folder to add$'
sleep 0.5
shot picker
xdotool type --delay 30 "$added_win"
until_ok "the typed path" true
xdotool key Return
until_ok "the folder in the list" control_matches 1318 7 "^items 1 "
until_ok "the picker closed" bash -c '! xdotool search --name "^Choose folder to add$" >/dev/null 2>&1'
shot folder-added

click 1074
until_ok "Apply done" control_is 1074 5 "disabled"
# Stored at once, while the dialog is still open.
until_ok "the monitor option stored" stored_has $'monitor\t0'
stored_has "$(printf 'folder\t%s' "$added_win")" || { stored >&2; fail "the added folder was not stored"; }

# --- Playback ----------------------------------------------------------------------------------------------
tree_item 1
until_ok "the Playback page" has_window '^Preferences: Playback$'
until_ok "the output list" control_matches 1287 7 "^items [1-9][0-9]* selected 0$"
shot playback
click 2
finished

# Cancel keeps nothing: the monitor box ticked again, then Cancel.
open
tree_item 0
until_ok "the Music folders page" has_window '^Preferences: Music folders$'
until_ok "the stored monitor option shown" control_is 1166 7 "check 0"
until_ok "the stored folder shown" control_matches 1318 7 "^items 1 "
click 1166
until_ok "the monitor box ticked" control_is 1166 7 "check 1"
click 2
finished
stored_has $'monitor\t0' || { stored >&2; fail "Cancel stored the monitor option"; }

# --- a configured device that is gone ---------------------------------------------------------------------
gone="{0BADC0DE-0000-4000-8000-000000000001}"
open "{67508677-CFCC-4A1C-921C-49B39CC5B986}" --device "$gone"
until_ok "the Playback page" has_window '^Preferences: Playback$'
until_ok "the output list without a selection" control_matches 1287 7 "^items [1-9][0-9]* selected -1$"
# The warning "Please select a valid output device." is a tooltip at the list's bottom edge (Wine centres a
# tracking tooltip on its point, so it may straddle the edge) or just below it.
tooltip_under_list() {
  read_controls || return 1
  local tip list
  tip=$(awk -F'\t' '$1 == "tooltip" { print $2; exit }' "$controls")
  list=$(field 1287 4)
  [ -n "$tip" ] && [ -n "$list" ] || return 1
  set -- $tip $list
  [ "$2" -gt "$6" ] && [ "$2" -le $(( $8 + 40 )) ] && [ "$4" -ge "$8" ]
}
until_ok "the invalid-device warning" tooltip_under_list
shot playback-device-gone
click 1
finished
grep -q "$(printf 'output\t{D41D2423-FBB0-4635-B233-7054F79814AB}\t%s' "$gone")" "$out" || {
  cat "$out" >&2; fail "OK changed the configured device"; }

# Choosing a device (the first one listed, the default) and Apply stores it.
open "{67508677-CFCC-4A1C-921C-49B39CC5B986}" --device "$gone"
until_ok "the output list without a selection" control_matches 1287 7 "^items [1-9][0-9]* selected -1$"
click 1287
xdotool key Home
xdotool key Return
until_ok "a device chosen" control_matches 1287 7 "selected 0$"
until_ok "Apply enabled" control_is 1074 5 "enabled"
click 1074
until_ok "the device stored" stored_has $'output\t{D41D2423-FBB0-4635-B233-7054F79814AB}\t{00000000-0000-0000-0000-000000000000}'
click 1
finished
