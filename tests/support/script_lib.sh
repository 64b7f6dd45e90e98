# Helpers for script tests (sourced by run_script_test.sh).

fail() { echo "FAIL: $*" >&2; exit 1; }

# Windows form of a Linux path, as Wine sees it.
winpath() { winepath -w "$1" 2>/dev/null; }

# expect_eq ACTUAL EXPECTED WHAT
expect_eq() { [ "$1" == "$2" ] || fail "$3: expected '$2', got '$1'"; }

# expect_contains FILE TEXT
expect_contains() { grep -qF -- "$2" "$1" || { echo "--- $1:" >&2; tail -n 40 "$1" >&2; fail "'$2' not in $1"; }; }

# skip WHY: the test cannot run here (CTest reports it as skipped).
skip() { echo "SKIP: $*"; exit 77; }
