# Configuration variables persist across processes: the foundation test program saves a variable of every
# payload form through the real start-up and shut-down path into "config.dat", and a second run of it reads
# them all back. Damaged files (truncated, foreign, one byte altered) make the next run ask whether to
# continue (answered through the message-box seam) or, when quiet, continue with the defaults; the file
# the user is asked about stays as it is. Finally the player itself keeps "config.dat" across ordinary
# runs: a windowed run closed normally, a second one, and a quiet one.

test_program="$VORN_BUILD_DIR/tests/test_foundation.exe"
[ -f "$test_program" ] || fail "no $test_program"
mkdir profile
profile_win=$(winpath "$VORN_TEST_TMP/profile")
dat=profile/config.dat

# child CASE LOG [ANSWER]: one child case of the test program over the profile; its exit status in $rc.
child() { config_child "$test_program" "$profile_win" "$@"; }

# --- every payload form across two processes ------------------------------------------------------------
child "save every form" save.log
[ -f "$dat" ] || fail "the first run wrote no config.dat"
[ ! -e "$dat.tmp" ] || fail "config.dat.tmp left behind"
expect_eq "$(head -c 16 "$dat" | od -An -tx1 | tr -d ' \n')" "d13d22b2c415f546803196e692bc1e20" "magic of config.dat"
cp "$dat" saved.dat

child "load every form" load.log
cmp -s "$dat" saved.dat || fail "loading and exiting without changes rewrote config.dat"

# --- damaged files ---------------------------------------------------------------------------------------
# damage KIND: a damaged copy of the saved file as config.dat, also kept as damaged.dat.
damage() {
    cp saved.dat "$dat"
    case "$1" in
        truncated) truncate -s 20 "$dat" ;;
        foreign) printf '\x00' | dd of="$dat" bs=1 seek=3 conv=notrunc status=none ;;
        flipped) byte=$(od -An -tu1 -j 40 -N 1 "$dat" | tr -d ' ')
                 printf "\\x$(printf %02x $(( byte ^ 1 )))" | dd of="$dat" bs=1 seek=40 conv=notrunc status=none ;;
    esac
    cp "$dat" damaged.dat
}

for kind in truncated foreign flipped; do
    damage $kind
    if [ $kind = flipped ]; then reason="Corrupted configuration file"; else reason="Unsupported format or corrupted file"; fi

    child "load a damaged file" "$kind-cancel.log" cancel
    expect_contains "$kind-cancel.log" "question: Error reading configuration file ($reason).\\nContinue?"
    expect_contains "$kind-cancel.log" "question style: default-caption ok-cancel-error"
    expect_contains "$kind-cancel.log" "start: shutdown request"
    cmp -s "$dat" damaged.dat || fail "$kind: config.dat changed although the user cancelled"

    child "load a damaged file" "$kind-quiet.log" quiet
    ! grep -q "question:" "$kind-quiet.log" || fail "$kind: a quiet run asked a question"
    expect_contains "$kind-quiet.log" "start: continued"
    cmp -s "$dat" damaged.dat || fail "$kind: a quiet run replaced config.dat"

    child "load a damaged file" "$kind-ok.log" ok
    expect_contains "$kind-ok.log" "question: Error reading configuration file ($reason).\\nContinue?"
    expect_contains "$kind-ok.log" "start: continued"
    # The user chose to continue: the exit saves the defaults, which the next run reads without a question.
    ! cmp -s "$dat" damaged.dat || fail "$kind: the exit after Continue saved nothing"
    child "load a damaged file" "$kind-after.log" quiet
    child "load a damaged file" "$kind-after-ok.log" ok
    ! grep -q "question:" "$kind-after-ok.log" || fail "$kind: the file saved after Continue is not readable"
done

# --- the player keeps config.dat across ordinary runs ----------------------------------------------------
# A copy of its own name, so that closing it reaches only this test's player.
mkdir player
cp "$VORN_EXE" player/vorn-config-test.exe
touch player/vorn-config-test.exe.localconfig.opt
player_dat=player/vorn-configuration/config.dat

# windowed_run LOG: starts the player, closes its main window (WM_CLOSE posted by a child run of the test
# program, as the close button would), waits for a normal end.
windowed_run() {
    WINEDEBUG=+debugstr wine player/vorn-config-test.exe > "$1" 2>&1 < /dev/null &
    local pid=$! i
    VORN_CLOSE_IMAGE=vorn-config-test.exe wine "$test_program" --no-colors --no-skip \
        --test-case="config child: close the player" > "$1.close" 2>&1 < /dev/null || true
    grep -Eq "test cases: +1 \| +1 passed \| +0 failed" "$1.close" ||
        { kill $pid 2>/dev/null; cat "$1.close" >&2; fail "the player's main window could not be closed"; }
    for i in $(seq 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    if kill -0 $pid 2>/dev/null; then kill $pid; fail "the player did not end when its window was closed"; fi
    set +e; wait $pid; rc=$?; set -e
    expect_eq "$rc" 0 "exit code of a windowed run"
    expect_contains "$1" "Terminated normally."
}

windowed_run player-1.log
[ -f "$player_dat" ] || fail "a normal exit of the player wrote no config.dat"
cp "$player_dat" player-saved.dat

windowed_run player-2.log
[ -f "$player_dat" ] || fail "config.dat did not survive a second normal run"
cmp -s "$player_dat" player-saved.dat || fail "an unchanged configuration was rewritten"

set +e
WINEDEBUG=+debugstr wine player/vorn-config-test.exe /quiet > player-quiet.log 2>&1 < /dev/null
rc=$?
set -e
expect_eq "$rc" 0 "exit code of a quiet run"
cmp -s "$player_dat" player-saved.dat || fail "config.dat did not survive a quiet run"
