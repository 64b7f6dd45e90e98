# Helpers for script tests (sourced by run_script_test.sh).

fail() { echo "FAIL: $*" >&2; exit 1; }

# Windows form of a Linux path, as Wine sees it.
winpath() { winepath -w "$1" 2>/dev/null; }

# expect_eq ACTUAL EXPECTED WHAT
expect_eq() { [ "$1" == "$2" ] || fail "$3: expected '$2', got '$1'"; }

# expect_contains FILE TEXT
expect_contains() { grep -qF -- "$2" "$1" || { echo "--- $1:" >&2; tail -n 40 "$1" >&2; fail "'$2' not in $1"; }; }

# quiet_retry ERRFILE COMMAND...: runs COMMAND, one of our console programs under Wine, with its standard error
# into ERRFILE, and returns its status. Our programs name every failure on standard error, so status 1 with
# nothing said is Wine's own (seen once under load, in the middle of a run of the same command that passed
# before and after): such a run is made once more. Other statuses, and failures with a message, stand.
quiet_retry() {
  local rc=0
  "${@:2}" 2>"$1" || rc=$?
  if [ $rc -eq 1 ] && [ ! -s "$1" ]; then
    echo "(status 1 with nothing said: ${*:2}; once more)" >&2
    rc=0
    "${@:2}" 2>"$1" || rc=$?
  fi
  return $rc
}

# skip WHY: the test cannot run here (CTest reports it as skipped).
skip() { echo "SKIP: $*"; exit 77; }

# config_child PROGRAM PROFILE_WIN CASE LOG [ANSWER]: runs one "config child: CASE" of a foundation test program over
# the profile folder PROFILE_WIN (Windows form); it must pass. Its exit status is left in $rc.
config_child() {
    set +e
    VORN_CONFIG_PROFILE="$2" VORN_CONFIG_ANSWER="${5:-}" \
        wine "$1" --no-colors --no-skip --test-case="config child: $3" > "$4" 2>&1 < /dev/null
    rc=$?
    set -e
    grep -Eq "test cases: +1 \| +1 passed \| +0 failed" "$4" || { cat "$4" >&2; fail "'$3' of $1 did not pass (exit $rc)"; }
}
