# Warnings to the debugger go through OutputDebugStringA, the form Wine shows with WINEDEBUG=+debugstr (and
# the form Windows hands to debuggers): the main-thread checks refusing a call from another thread, and a
# modal progress dialog.

program="$VORN_BUILD_DIR/tests/test_foundation.exe"

run_case() {  # run_case LOG DOCTEST-ARGS...: the test cases with the debugger lines shown
    local log=$1; shift
    set +e
    WINEDEBUG=+debugstr wine "$program" --no-colors "$@" > "$log" 2>&1 < /dev/null
    local rc=$?
    set -e
    [ "$rc" -eq 0 ] || { tail -n 40 "$log" >&2; fail "the test cases failed ($*)"; }
}

run_case checks.log --test-case="main_thread: the main thread passes every check*"
expect_contains checks.log 'OutputDebugStringA "Error: this function can be called only from main thread.\n"'
expect_contains checks.log 'OutputDebugStringA "This function can be called only from main thread.\n"'

run_case modal.log --test-case="a task that fails is reported as not completed*" --subcase="modal: run_modal answers false"
expect_contains modal.log 'OutputDebugStringA "threaded_process::run_modal() called - this is bad for multiple reasons'
