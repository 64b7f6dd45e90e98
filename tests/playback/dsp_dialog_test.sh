# The DSP Settings dialog through vorn-inspect under the test display, driven with xdotool: presets saved,
# "a" and "A" side by side, the overwrite and delete questions, presets kept in config.dat from one run to
# the next, OK and Cancel. Screenshots go to $VORN_BUILD_DIR/screenshots/dsp-*.png.
# serial: real keyboard input on the shared display
command -v xdotool >/dev/null || fail "xdotool is not installed"
shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"
out="$VORN_TEST_TMP/inspect.out"
profile="$VORN_TEST_TMP/profile"
pid=

shot() { sleep 0.4; import -window root "$shots/dsp-$1.png" || fail "no screenshot $1"; }
key() { xdotool key --delay 80 "$@"; sleep 0.3; }
type_text() { xdotool type --delay 40 "$1"; sleep 0.3; }
# window TITLE-REGEX [SECONDS]: waits for a window with that name, then SECONDS more (0.5 by default) so that
# no key is sent before the window can take it, and gives it the keyboard: there is no window manager, and on
# a busy machine a new window of Wine's was seen still without the focus when every key had been sent.
window() {
  local i w
  for i in $(seq 100); do
    w=$(xdotool search --name "$1" 2>/dev/null | head -n1 || true)
    if [ -n "$w" ]; then
      sleep "${2:-0.5}"
      timeout 5 xdotool windowfocus --sync "$w" 2>/dev/null || true
      return 0
    fi
    sleep 0.1
  done
  shot "missing"
  fail "no window named $1"
}
# open [--name TEXT]: starts the dialog over the profile and waits for it.
open() {
  : > "$out"
  wine "$VORN_INSPECT" dsp-dialog "$profile" "$@" > "$out" 2>&1 < /dev/null &
  pid=$!
  window '^DSP Settings' 1.5
}
# finished [KEY]: waits (at most 30 s) for the tool to end with status 0; its output without CRs into $result.
# KEY is the key that closed the dialog: Wine now and then loses a key on a busy machine, so when the dialog
# is still up after 10 s it gets that key once more (the outcome is checked all the same).
finished() {
  local rc i
  for i in $(seq 300); do
    kill -0 $pid 2>/dev/null || break
    if [ "$i" = 100 ] && [ -n "${1:-}" ] && xdotool search --name '^DSP Settings' >/dev/null 2>&1; then
      echo "the dialog is still up: $1 again" >&2
      window '^DSP Settings' 0
      xdotool key "$1"
    fi
    sleep 0.1
  done
  kill -0 $pid 2>/dev/null && { kill $pid; shot stuck; cat "$out" >&2; fail "the tool did not end"; }
  set +e; wait $pid; rc=$?; set -e
  [ "$rc" -eq 0 ] || { cat "$out" >&2; fail "the tool ended with $rc"; }
  result=$(tr -d '\r' < "$out")
}
expect() {
  [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"
}
# The focus starts in the active list: two tabs reach the preset name (nothing else is enabled before it).
to_name() { key Tab Tab; }

# Save "a", then Cancel: the presets are stored all the same.
open --name "Living room"
xdotool search --name '^DSP Settings - Living room$' >/dev/null || fail "caption without the name"
to_name; type_text "a"; key Tab space
shot saved
key Escape
finished Escape; expect "$result" $'result\t0\npreset\ta' "first run"

# A new run finds "a"; "A" is another preset.
open
xdotool search --name '^DSP Settings$' >/dev/null || fail "caption without a name"
to_name; type_text "A"; key Tab space
key Escape
finished Escape; expect "$result" $'result\t0\npreset\ta\npreset\tA' "second run"

# Saving over "a" asks; No keeps the list as it was. (Load is enabled now: Save is two tabs away.)
open
to_name; type_text "a"; key Tab Tab space
window '^Preset already exists$'
shot overwrite-question
key n
key Escape
finished Escape; expect "$result" $'result\t0\npreset\ta\npreset\tA' "overwrite answered No"

# Deleting "A" asks; Yes removes it alone.
open
to_name; type_text "A"; key Tab Tab Tab space
window '^Confirm preset deletion$'
shot delete-question
key y
key Escape
finished Escape; expect "$result" $'result\t0\npreset\ta' "delete answered Yes"

# Enter is OK.
open
key Return
finished Return; expect "$result" $'result\t1\npreset\ta' "OK"
