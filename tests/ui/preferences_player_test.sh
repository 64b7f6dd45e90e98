# The preferences dialog inside the running player (opened with Ctrl+P), driven with xdotool under the test
# display:
#   1. on the Music folders page a folder is added through the folder picker and applied: the player indexes
#      it, the albums view shows its album at once, and the album opens on its songs;
#   2. the dialog moved elsewhere, and the stored set of expanded pages, come back after the player restarts;
#   3. with Wine reporting Windows XP (the only version on which Wine opens a chosen DirectSound device), the
#      null sink's device chosen on the Playback page and applied while a track plays: the module and device
#      GUIDs are stored at once, a new sound stream opens, and the track plays on (recorded from the sink).
# What the main window shows and plays is read from its debugger lines; the dialog's controls through
# `vorn-inspect controls`. Screenshots go to $VORN_BUILD_DIR/screenshots/preferences-player-*.png.
# serial: real keyboard and mouse input on the shared display
command -v xdotool >/dev/null || fail "xdotool is not installed"
command -v pactl >/dev/null || skip "no PulseAudio tools"
source "$VORN_SOURCE_DIR/tools/env/session.sh"
rate=$(vorn_sink_rate)
[ -n "$rate" ] || fail "no null sink"
shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"
controls="$VORN_TEST_TMP/controls.txt"
shot_prefix=preferences-player
source "$VORN_SOURCE_DIR/tests/support/preferences_support.sh"

# ---- the library and the profile ---------------------------------------------------------------------
tone() {  # tone FILE HZ SECONDS ARTIST ALBUM TITLE NUMBER
  mkdir -p "$(dirname "$1")"
  sox -V1 -n -r 44100 -b 16 -c 2 tone.wav synth "$3" sine "$2" gain -6 || fail "sox"
  flac -s -f tone.wav -o "$1" || fail "flac $1"
  metaflac --set-tag="ARTIST=$4" --set-tag="ALBUM=$5" --set-tag="TITLE=$6" --set-tag="TRACKNUMBER=$7" "$1" ||
    fail "metaflac $1"
}
tone lib1/Alpha/01.flac 330 2 Ann Alpha Aone 1
tone lib1/Long/01.flac 440 120 Lou Long Lone 1   # long enough to last the whole change under load
tone lib2/Beta/01.flac 550 2 Bob Beta Bone 1
tone lib2/Beta/02.flac 660 2 Bob Beta Btwo 2

mkdir -p app
cp "$VORN_EXE" app/vorn.exe
touch app/vorn.exe.localconfig.opt
profile="$VORN_TEST_TMP/app/vorn-configuration"
mkdir -p "$profile"
profile_win=$(winpath "$profile")
lib2_win=$(winpath "$VORN_TEST_TMP/lib2")
timeout 120 wine "$VORN_INSPECT" library "$profile_win" --folder "$(winpath "$VORN_TEST_TMP/lib1")" \
  --system-folders 0 > library.out 2>&1 < /dev/null || { cat library.out >&2; fail "indexing"; }

config() { timeout 60 wine "$VORN_INSPECT" config "$profile_win" "$@" > config.out 2>&1 < /dev/null ||
             { cat config.out >&2; fail "vorn-inspect config $*"; }; tr -d '\r' < config.out > config.txt; }
record() { awk -F'\t' -v g="$1" '$1 == g { print $2; exit }' config.txt; }
nav_guid="{6490F07D-F12E-4963-8946-FDE5DCC08F3A}"
expanded_guid="{262B5E5F-A13B-485B-8FDD-288C45225696}"
placement_guid="{F90B10FB-D8FE-461A-8154-4664B7E8AEE9}"
playback_page="{67508677-CFCC-4A1C-921C-49B39CC5B986}"
# The main window starts at the albums; the Playback page's node is stored as expanded (u32 count, then its
# GUID's 16 bytes in memory order). It has no child page here, so the user cannot expand it.
expanded_hex="01000000$(python3 -c 'import uuid, sys; print(uuid.UUID(sys.argv[1]).bytes_le.hex())' "$playback_page")"
config "$nav_guid=$(python3 -c 'import struct; print(struct.pack("<IIII", 0, 2, 0, 0).hex())')" \
  "$expanded_guid=$expanded_hex"

# ---- running the player and reading what it shows ----------------------------------------------------
source "$VORN_SOURCE_DIR/tests/support/player_support.sh"
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  vorn_capture_stop
  vorn_winver_clear app/vorn.exe
  vorn_winver_clear "$VORN_INSPECT"
  true
}
trap cleanup EXIT
# open_preferences: Ctrl+P in the main window until the dialog is there (a key lost under load is sent again).
open_preferences() {
  local attempt i
  for attempt in 1 2 3; do
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    key ctrl+p
    for i in $(seq 50); do has_window '^Preferences' && return 0; sleep 0.2; done
    echo "no dialog after Ctrl+P (attempt $attempt)" >&2
  done
  shot no-dialog
  fail "Ctrl+P opened no preferences dialog"
}
# close_preferences ID: clicks OK (1) or Cancel (2) until the dialog has gone.
close_preferences() {
  local attempt i
  for attempt in 1 2 3; do
    click "$1"
    for i in $(seq 50); do no_window '^Preferences' && return 0; sleep 0.2; done
  done
  fail "the preferences dialog did not close"
}

# ---- 1: a folder added and applied is indexed and browsable at once ----------------------------------
start run1
view "All Albums (3 rows)"        # Alpha, Long and the summary row
open_preferences
read_controls
expect_eq "$(field 1068 7 | cut -d' ' -f1-2)" "items 2" "the tree: two pages"
tree_item 0
until_ok "the Music folders page" has_window '^Preferences: Music folders$'
until_ok "the configured folder listed" control_matches 1318 7 "^items 1 "
click 1033
until_ok "the folder picker" has_window '^Choose folder to add$'
sleep 0.5
typed "$lib2_win"
key Return
until_ok "the folder in the list" control_matches 1318 7 "^items 2 "
until_ok "the picker closed" no_window '^Choose folder to add$'
until_ok "Apply enabled" control_is 1074 5 "enabled"
shot folder-added
click 1074
until_ok "Apply done" control_is 1074 5 "disabled"
# The albums view gains the new folder's album once it is indexed, while the dialog is still open.
until_view "All Albums (4 rows)"
shot folder-indexed

# ---- 2 (first half): the dialog moved; the Playback node stays expanded ------------------------------
read_controls
expect_eq "$(field 1068 7 | sed 's/.*expanded //')" "1" "the stored expanded node (Playback, the second item)"
set -- $(dialog_rect)
width=$(( $3 - $1 )); height=$(( $4 - $2 ))
dialog=$(xdotool search --name '^Preferences' | head -n1)
# 50 pixels left and up (or right and down when that would leave the screen), whole on the screen still.
target_x=$(( $1 >= 60 ? $1 - 50 : $1 + 50 )); target_y=$(( $2 >= 60 ? $2 - 50 : $2 + 50 ))
first_rect=$(dialog_rect)
moved() { read_controls || return 1; local r; r=$(dialog_rect); [ -n "$r" ] && [ "$r" != "$first_rect" ]; }
xdotool windowmove "$dialog" "$target_x" "$target_y"
until_ok "the dialog moved" moved
moved_rect=$(dialog_rect)
set -- $moved_rect
expect_eq "$(( $3 - $1 )) $(( $4 - $2 ))" "$width $height" "the moved dialog's size"
shot moved
close_preferences 1

# The added folder's album opens on its songs.
xdotool windowfocus --sync "$window" 2>/dev/null || true
typed Beta; key Return
until_view "<a>Beta</a>"
case "$got" in *"(2 rows"*) ;; *) fail "the album Beta shows $got";; esac
shot browsed
stop

config
expect_eq "$(record "$expanded_guid")" "$expanded_hex" "the expanded pages stored"
[ -n "$(record "$placement_guid")" ] || { cat config.txt >&2; fail "no placement of the dialog stored"; }

# ---- 2 (second half): after a restart ----------------------------------------------------------------
start run2
view ""
open_preferences
until_ok "the dialog's controls" read_controls
expect_eq "$(dialog_rect)" "$moved_rect" "the dialog's place and size after a restart"
expect_eq "$(field 1068 7 | sed 's/.*expanded //')" "1" "the expanded node after a restart"
shot restored
close_preferences 2
stop

# tone_seconds CAPTURE: how many seconds of the capture hold the 440 Hz tone (in 0.1 s blocks).
tone_seconds() {
  python3 - "$1" "$rate" <<'PY'
import array, sys
samples = array.array("f")
with open(sys.argv[1], "rb") as f:
    data = f.read()
samples.frombytes(data[: len(data) // 8 * 8])
rate = int(sys.argv[2])
left = samples[0::2]
block = rate // 10
count = 0
for start in range(0, len(left) - block, block):
    part = left[start:start + block]
    if max(abs(v) for v in part) < 0.02:
        continue
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    if abs(crossings * 5 - 440) <= 440 * 0.03:
        count += 1
print("%.1f" % (count / 10.0))
PY
}

# ---- 3: another device applied while a track plays ----------------------------------------------------
vorn_winver_set "$VORN_INSPECT" winxp
timeout 60 wine "$VORN_INSPECT" output-devices < /dev/null 2>/dev/null | tr -d '\r' > devices.txt || true
vorn_winver_clear "$VORN_INSPECT"
ds_module=$(awk '$1 == "module" && $3 == "DS" { print $2; exit }' devices.txt)
# The null sink's own device: "PulseAudio" (the default endpoint) is the primary driver's device under another
# name, so only this one makes the output open another device. Its position in the list is its place in
# the page's list of outputs (the one module, its devices in the order listed).
chosen=$(awk '$1 == "device" { n++; if ($0 ~ / Null Output$/) { print n - 1, $2; exit } }' devices.txt)
[ -n "$ds_module" ] && [ -n "$chosen" ] || { cat devices.txt >&2; fail "no DirectSound device of the null sink"; }
set -- $chosen
chosen_index=$1 chosen_device=$2

vorn_winver_set app/vorn.exe winxp
streams() { pactl list short sink-inputs 2>/dev/null | awk '{ print $1 }' | sort -n | tr '\n' ' '; }
start run3
view ""
lone=$(winpath "$VORN_TEST_TMP/lib1/Long/01.flac")
stops() { playing | grep -c 'Playback stopped' || true; }
stops_before=$(stops)
vorn_capture_start before.raw
timeout 60 wine app/vorn.exe "$lone" > second.log 2>&1 < /dev/null || true
for i in $(seq 300); do playing | grep -q '<a>Lone</a>' && break; sleep 0.1; done
playing | grep -q '<a>Lone</a>' || { playing >&2; fail "the long track did not start"; }
open_preferences
tree_item 1
until_ok "the Playback page" has_window '^Preferences: Playback$'
until_ok "the output list on the default device" control_matches 1287 7 "^items [2-9][0-9]* selected 0$"
click 1287
for i in $(seq "$chosen_index"); do key Down; done
key Return
until_ok "the null sink's device chosen" control_matches 1287 7 "selected $chosen_index$"
until_ok "Apply enabled" control_is 1074 5 "enabled"
shot device-chosen
[ "$(stops)" = "$stops_before" ] || { playing >&2; fail "the track ended before the device was applied"; }
streams_before=$(streams)
click 1074
until_ok "Apply done" control_is 1074 5 "disabled"
new_stream() { for s in $(streams); do case " $streams_before" in *" $s "*) ;; *) return 0;; esac; done; return 1; }
until_ok "a new sound stream (the output restarted)" new_stream
vorn_capture_stop
vorn_capture_start after.raw
# The track goes on through the new stream: 1.5 s more of it recorded, then the dialog closes and the player ends.
heard_after() { python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) >= 1.5 else 1)" "$(tone_seconds after.raw)"; }
until_ok "the track heard after Apply" heard_after
vorn_capture_stop
[ "$(stops)" = "$stops_before" ] || { playing >&2; fail "playback stopped when the device changed"; }
playing | tail -n1 | grep -q '<a>Lone</a>' || { playing >&2; fail "the long track is no longer playing"; }
# Stored at once, while the player runs.
output=$(timeout 60 wine "$VORN_INSPECT" preferences "$profile_win" --show 2>/dev/null < /dev/null | tr -d '\r' |
         grep '^output' || true)
expect_eq "$output" "$(printf 'output\t%s\t%s' "$ds_module" "$chosen_device")" "the stored output"
shot played-on
close_preferences 1
stop
vorn_winver_clear app/vorn.exe

# The tone was heard before the change as well.
before=$(tone_seconds before.raw)
python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) >= 0.5 else 1)" "$before" ||
  fail "the track was not heard before the device change ($before s)"
