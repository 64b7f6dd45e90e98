# Sourced by the preferences window scripts: waiting for an effect, reading the controls of the open
# "Preferences" window through `vorn-inspect controls`, and clicking them by id. The script sets $shots (the
# screenshot folder), $shot_prefix (the screenshots' name prefix) and $controls (a scratch file).

shot() { import -window root "$shots/$shot_prefix-$1.png" || fail "no screenshot $1"; }

# until_ok WHAT COMMAND...: runs COMMAND every 0.2 s until it succeeds (at most 30 s).
until_ok() {
  local what=$1 i
  shift
  for i in $(seq 150); do
    "$@" && return 0
    sleep 0.2
  done
  shot "missing-$(echo "$what" | tr -c 'a-z0-9' '-')"
  [ -s "$controls" ] && cat "$controls" >&2
  fail "waited in vain for $what"
}
has_window() { xdotool search --name "$1" >/dev/null 2>&1; }
no_window() { ! xdotool search --name "$1" >/dev/null 2>&1; }
# The controls of the window whose caption starts with "Preferences" into $controls.
read_controls() { timeout 20 wine "$VORN_INSPECT" controls Preferences 2>/dev/null | tr -d '\r' > "$controls"; }
# field ID N: field N (TAB-separated) of the first control with that id.
field() { awk -F'\t' -v id="$1" -v n="$2" '$1 == "control" && $2 == id { print $n; exit }' "$controls"; }
control_is() { read_controls && [ "$(field "$1" "$2")" = "$3" ]; }
control_matches() { read_controls && field "$1" "$2" | grep -Eq "$3"; }
# The dialog's screen rectangle "LEFT TOP RIGHT BOTTOM" (after read_controls).
dialog_rect() { awk -F'\t' '$1 == "window" { print $2; exit }' "$controls"; }
# click ID [DX DY]: clicks the control of that id at its centre, or DX/DY pixels from its top left corner.
click() {
  read_controls
  local rect
  rect=$(field "$1" 4)
  [ -n "$rect" ] || { cat "$controls" >&2; fail "no control $1"; }
  set -- "$1" "${2:-}" "${3:-}" $rect
  local x y
  if [ -n "$2" ]; then x=$(( $4 + $2 )); y=$(( $5 + $3 )); else x=$(( ($4 + $6) / 2 )); y=$(( ($5 + $7) / 2 )); fi
  xdotool mousemove "$x" "$y" click 1
}
# tree_item N: clicks the Nth item (from 0) of the page tree.
tree_item() {
  read_controls
  local height
  height=$(field 1068 7 | sed -n 's/.*height \([0-9]*\).*/\1/p')
  [ -n "$height" ] || fail "no item height of the tree"
  click 1068 24 $(( 2 + height / 2 + $1 * height ))
}
