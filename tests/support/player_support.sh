# The running player driven from a script through its debugger lines (WINEDEBUG=+debugstr): start it over
# app/vorn.exe, read what its main window shows and plays, send keys, end it with a second start's /exit.
#     start run1; view "Albums (2 rows)"; typed Alpha; key Return; view "Alpha"; stop
# The script keeps $pid (the running player, empty when none), $log, $window and $owner (the process that owns
# the window) and may use them in its own cleanup.

pid=
log=
# The debugger lines of the run: what the window shows and plays.
lines() { grep -a 'OutputDebugString' "$log" | sed 's/^.*OutputDebugString[AW] "//; s/\\n"$//' | tr -d '\r'; }
shows() { lines | grep '^Main window shows: ' | sed 's/^Main window shows: //' || true; }
playing() { lines | grep '^Now playing: ' | sed 's/^Now playing: //' || true; }
# wait_line FUNCTION COUNT: until FUNCTION prints at least COUNT lines; prints the COUNT-th.
wait_line() {
  local i
  for i in $(seq 600); do
    [ "$("$1" | wc -l)" -ge "$2" ] && break
    kill -0 "$pid" 2>/dev/null || { lines >&2; fail "the player ended while waiting for $1 line $2"; }
    sleep 0.1
  done
  [ "$("$1" | wc -l)" -ge "$2" ] || { lines >&2; fail "no $1 line $2"; }
  "$1" | sed -n "${2}p"
}
# view EXPECTED: the next view line must contain EXPECTED; it is left in $got.
seen=0
got=
view() {
  seen=$((seen + 1))
  got=$(wait_line shows "$seen")
  case "$got" in *"$1"*) ;; *) shows >&2; fail "view $seen: expected '$1', got '$got'";; esac
}
# until_view EXPECTED: view lines are taken until one contains EXPECTED.
until_view() {
  while :; do
    seen=$((seen + 1))
    got=$(wait_line shows "$seen")
    case "$got" in *"$1"*) return 0;; esac
  done
}
# key KEYS...: sends keys to the focused window (the item list keeps the focus).
key() { xdotool key --delay 80 "$@"; }
typed() { xdotool type --delay 60 "$1"; }
window=
owner=
start() {  # start LOGNAME [ARGS]: the player over the profile, its window found
  log="$VORN_TEST_TMP/$1.log"
  shift
  seen=0
  WINEDEBUG=+debugstr wine app/vorn.exe "$@" > "$log" 2>&1 < /dev/null &
  pid=$!
  local i
  window=
  for i in $(seq 600); do
    for owner in $pid $(pgrep -P "$pid" 2>/dev/null || true); do
      window=$(xdotool search --all --pid "$owner" --name '^Vorn Audio Player$' 2>/dev/null | head -n1 || true)
      [ -n "$window" ] && break 2
    done
    kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; fail "the player ended at start"; }
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window 'Vorn Audio Player'"
  xdotool windowfocus --sync "$window" 2>/dev/null || true
}
stop() {  # ends the running player through a second start with /exit
  timeout 60 wine app/vorn.exe /exit > exit.log 2>&1 < /dev/null || true
  local i
  for i in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "the player did not end after /exit"
  wait "$pid" 2>/dev/null || true
  pid=
}
