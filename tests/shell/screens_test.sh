# The dialogs as a person sees them: scripted runs of the test programs' window tests that stop at their
# hand-over points, where a screenshot of the display goes to $VORN_BUILD_DIR/screenshots/NAME.png. Each
# run must still pass all its checks.
# serial: screenshots of the whole display

shots="$VORN_BUILD_DIR/screenshots"
mkdir -p "$shots"

# scenario PROGRAM CASE STEP...: runs one test case of a test program (CASE a doctest name pattern without
# commas), screenshots each step in order.
scenario() {
    local program="$VORN_BUILD_DIR/tests/$1" test_case=$2 step i
    shift 2
    local dir="$VORN_TEST_TMP/scenario-$1"
    mkdir -p "$dir"
    VORN_SCENARIO_DIR="Z:${dir//\//\\}" wine "$program" --no-colors --no-skip --test-case="$test_case" \
        > "$dir/log" 2>&1 < /dev/null &
    local pid=$!
    for step in "$@"; do
        for i in $(seq 600); do
            [ -e "$dir/$step.ready" ] && break
            kill -0 $pid 2>/dev/null || { cat "$dir/log" >&2; fail "'$test_case' ended before step $step"; }
            sleep 0.1
        done
        [ -e "$dir/$step.ready" ] || { kill $pid; fail "step $step of '$test_case' never came"; }
        import -window root "$shots/$step.png" || fail "no screenshot for $step"
        touch "$dir/$step.go"
    done
    set +e; wait $pid; local rc=$?; set -e
    # Every step came, so the case ran; its checks decide the exit code. (Under heavy load Wine has been
    # seen to lose a finished program's buffered output, so an empty log alone is no failure.)
    [ "$rc" -eq 0 ] || { cat "$dir/log" >&2; fail "'$test_case' failed (exit $rc)"; }
    if [ -s "$dir/log" ]; then
        grep -Eq "test cases: +1 \| +1 passed \| +0 failed" "$dir/log" || { cat "$dir/log" >&2; fail "'$test_case' did not pass"; }
    fi
    for step in "$@"; do [ -s "$shots/$step.png" ] || fail "empty screenshot $step"; done
}

scenario test_foundation.exe "a delayed progress dialog appears after its delay*" \
    progress-shown progress-paused
scenario test_foundation.exe "a task that fails is reported as not completed*" progress-failed
scenario test_shell.exe "the about box opens with its version line and picture*" about-box
scenario test_shell.exe "the install wizard walks from the introduction to completion" \
    install-page1 install-page2 install-done
scenario test_playback.exe "the error window holds 33 messages and one (...) line*" playback-error-window
scenario test_playback.exe "the ReplayGain dialog opens with the record's values*" replaygain-dialog
