// The main-thread record: the test program's main thread is the one that ran static initialisation; a
// main-thread-only call from another thread is refused (with a line to the debugger) or stops the process
// with 0xAA67913C.
#include <doctest/doctest.h>

#include <windows.h>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/main_thread.h"
#include "foundation/win32/modal_scope.h"

namespace {

struct worker_result {
    bool is_current = true;
    bool checked = true;
    bool modal_checked = true;
    DWORD crash_code = 0;
};

DWORD g_crash_thread = 0;
DWORD g_crash_code = 0;

// Stands in for the crash handler on the crashing worker only: records the code and ends that thread.
LONG CALLBACK catch_crash_on_worker(EXCEPTION_POINTERS* info) {
    if (GetCurrentThreadId() != g_crash_thread) return EXCEPTION_CONTINUE_SEARCH;
    g_crash_code = info->ExceptionRecord->ExceptionCode;
    bool noncontinuable = (info->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0;
    ExitThread(noncontinuable ? 1 : 2);
}

DWORD WINAPI query_worker(void* context) {
    auto* result = static_cast<worker_result*>(context);
    result->is_current = main_thread::is_current();
    result->checked = main_thread::check_with_message();
    result->modal_checked = is_main_thread();
    return 0;
}

DWORD WINAPI asserting_worker(void*) {
    main_thread::assert_current();
    return 0;  // not reached
}

DWORD run_worker(LPTHREAD_START_ROUTINE routine, void* context) {
    HANDLE thread = CreateThread(nullptr, 0, routine, context, CREATE_SUSPENDED, &g_crash_thread);
    REQUIRE(thread != nullptr);
    ResumeThread(thread);
    WaitForSingleObject(thread, 10000);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

}  // namespace

TEST_CASE("main_thread: the main thread passes every check, another thread fails them") {
    CHECK(main_thread::id() == GetCurrentThreadId());
    CHECK(main_thread::is_current());
    CHECK(main_thread::check_with_message());
    main_thread::assert_current();  // returns on the main thread

    CHECK(is_main_thread());

    // (debug_output_test.sh checks the lines both checks write to the debugger.)
    worker_result result;
    run_worker(&query_worker, &result);
    CHECK_FALSE(result.is_current);
    CHECK_FALSE(result.checked);
    CHECK_FALSE(result.modal_checked);
}

TEST_CASE("main_thread::assert_current on another thread raises the non-continuable 0xAA67913C") {
    void* handler = AddVectoredExceptionHandler(1, &catch_crash_on_worker);
    REQUIRE(handler != nullptr);
    g_crash_code = 0;
    DWORD exit_code = run_worker(&asserting_worker, nullptr);
    RemoveVectoredExceptionHandler(handler);
    CHECK(g_crash_code == kpl::crash_exception_code);
    CHECK(exit_code == 1);  // the exception was non-continuable
}
