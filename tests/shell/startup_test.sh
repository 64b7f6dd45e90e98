# The player starts and stops: quiet runs with the application-data profile and with a portable profile
# beside a copy of the program, a windowed run closed from outside, a read-only profile, a profile that
# cannot be created and a second process on a profile in use (it forwards its command line and ends).

run_quiet() {  # run_quiet EXE LOG: WINEDEBUG=+debugstr run with /quiet; the exit status in $rc
    set +e
    WINEDEBUG=+debugstr wine "$1" /quiet > "$2" 2>&1 < /dev/null
    rc=$?
    set -e
}

# Waits up to $2 seconds for a path (or, with "!", its absence).
wait_for() {
    local i
    for i in $(seq $(( $2 * 10 ))); do
        if [ "$1" = "!" ]; then [ ! -e "$3" ] && return 0; else [ -e "$1" ] && return 0; fi
        sleep 0.1
    done
    return 1
}

# find_main_window PID WHAT: the player's main window into $window (other tests may show windows of the
# same name on the display).
find_main_window() {
    local player=$1 what=$2 i pid
    for i in $(seq 100); do
        window=""
        for pid in $player $(pgrep -P $player 2>/dev/null || true); do
            window=$(xdotool search --all --pid "$pid" --name '^Vorn Audio Player$' 2>/dev/null | head -n1 || true)
            [ -n "$window" ] && break
        done
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    kill $player 2>/dev/null
    fail "the main window of $what did not appear"
}

# close_player PID LOG WHAT: closes the player's main window with Alt+F4 and waits for the player to end
# normally with exit code 0.
close_player() {
    local player=$1 log=$2 what=$3 i
    find_main_window $player "$what"
    # A key sent before the window takes input is lost on a busy machine: repeat it until the player ends.
    for i in $(seq 300); do
        kill -0 $player 2>/dev/null || break
        # The window may be gone while the process still winds down: a refused key is no failure.
        if [ $(( i % 20 )) -eq 1 ]; then xdotool key --window "$window" alt+F4 2>/dev/null || true; fi
        sleep 0.1
    done
    if kill -0 $player 2>/dev/null; then kill $player; fail "$what did not end when its window was closed"; fi
    set +e; wait $player; rc=$?; set -e
    expect_eq "$rc" 0 "exit code of $what after closing the window"
    expect_contains "$log" "Terminated normally."
}

# --- the application-data profile ---------------------------------------------------------------------
appdata=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
appdata_unix=$(winepath -u "$appdata" 2>/dev/null)
[ -d "$appdata_unix" ] || fail "no application-data folder ($appdata)"
run_quiet "$VORN_EXE" quiet.log
expect_eq "$rc" 0 "exit code of a quiet run"
expect_contains quiet.log "Terminated normally."
[ -d "$appdata_unix/Vorn Audio Player" ] || fail "profile folder 'Vorn Audio Player' not created in $appdata_unix"
[ ! -e "$appdata_unix/Vorn Audio Player/running" ] || fail "the running file outlived the process"

# --- portable: the profile beside a copy of the program -----------------------------------------------
mkdir -p portable
cp "$VORN_EXE" portable/vorn.exe
touch portable/vorn.exe.localconfig.opt
run_quiet portable/vorn.exe portable.log
expect_eq "$rc" 0 "exit code of a portable quiet run"
expect_contains portable.log "Terminated normally."
[ -d portable/vorn-configuration ] || fail "portable profile 'vorn-configuration' not created beside the program"
[ ! -e portable/vorn-configuration/running ] || fail "the running file outlived the portable run"

# --- a windowed run: the lock file lives while the program runs; closing the window ends it -----------
WINEDEBUG=+debugstr wine portable/vorn.exe > windowed.log 2>&1 < /dev/null &
player=$!
wait_for portable/vorn-configuration/running 30 || { kill $player 2>/dev/null; fail "no running file while the player runs"; }

# A second process on the same profile hands its command line to the running instance and ends.
run_quiet portable/vorn.exe second.log
expect_eq "$rc" 0 "exit code of a second process on a profile in use"
expect_contains second.log "Exiting (Another instance is already running)"

close_player $player windowed.log "the windowed run"
[ ! -e portable/vorn-configuration/running ] || fail "the running file outlived the windowed run"
[ -e portable/vorn-configuration/config.dat ] || fail "the windowed run saved no configuration"

# --- a read-only profile: no lock file while it runs, nothing saved when it ends --------------------------
# A windowed run, so that the end is the one that saves (a quiet run saves nothing anyway). The test runs as
# root, whom the folder's mode does not stop: only the program's own rule keeps it from writing there.
mkdir -p readonly
cp "$VORN_EXE" readonly/vorn.exe
touch readonly/vorn.exe.localconfig.opt
mkdir -p readonly/vorn-configuration
chmod 555 readonly/vorn-configuration
trap 'chmod 755 "$VORN_TEST_TMP/readonly/vorn-configuration" 2>/dev/null' EXIT
WINEDEBUG=+debugstr wine readonly/vorn.exe > readonly.log 2>&1 < /dev/null &
player=$!
find_main_window $player "a run on a read-only profile"  # start-up is past the lock file's step
[ -z "$(ls -A readonly/vorn-configuration)" ] || { kill $player; fail "a lock file in the read-only profile: $(ls -A readonly/vorn-configuration)"; }
close_player $player readonly.log "a run on a read-only profile"
[ -z "$(ls -A readonly/vorn-configuration)" ] || fail "files written into the read-only profile: $(ls -A readonly/vorn-configuration)"
chmod 755 readonly/vorn-configuration

# --- a profile folder that cannot be created (a file has its name) ------------------------------------
mkdir -p blocked
cp "$VORN_EXE" blocked/vorn.exe
touch blocked/vorn.exe.localconfig.opt blocked/vorn-configuration
run_quiet blocked/vorn.exe blocked.log
expect_eq "$rc" 255 "exit code when the profile cannot be created"
expect_contains blocked.log "Initialization failure : Could not create profile directory"
! grep -q "Terminated normally." blocked.log || fail "a failed start-up logged a normal end"
