#include <doctest/doctest.h>

#include <windows.h>

#include "foundation/kpl/exceptions.h"

namespace {

struct crash_record {
    DWORD code = 0;
    DWORD flags = 0;
    DWORD arguments = 99;
    bool caught_as_cpp = false;
    bool returned = false;
};
crash_record g_record;
DWORD g_crash_thread = 0;

// Sees the structured exception first; records it and ends only the crashing thread.
LONG CALLBACK watch(EXCEPTION_POINTERS* info) {
    if (GetCurrentThreadId() != g_crash_thread) return EXCEPTION_CONTINUE_SEARCH;
    g_record.code = info->ExceptionRecord->ExceptionCode;
    g_record.flags = info->ExceptionRecord->ExceptionFlags;
    g_record.arguments = info->ExceptionRecord->NumberParameters;
    ExitThread(0);
}

DWORD WINAPI crashing_thread(void*) {
    try {
        kpl::crash();
    } catch (...) {
        g_record.caught_as_cpp = true;
    }
    g_record.returned = true;
    return 1;
}

}  // namespace

TEST_CASE("crash raises the non-continuable structured exception 0xAA67913C") {
    void* handler = AddVectoredExceptionHandler(1, watch);
    REQUIRE(handler != nullptr);
    HANDLE thread = CreateThread(nullptr, 0, crashing_thread, nullptr, CREATE_SUSPENDED, &g_crash_thread);
    REQUIRE(thread != nullptr);
    ResumeThread(thread);
    CHECK(WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0);
    DWORD exit_code = 99;
    GetExitCodeThread(thread, &exit_code);
    CloseHandle(thread);
    RemoveVectoredExceptionHandler(handler);

    CHECK(g_record.code == kpl::crash_exception_code);
    CHECK(g_record.code == 0xAA67913Cu);
    CHECK((g_record.flags & EXCEPTION_NONCONTINUABLE) != 0);
    CHECK(g_record.arguments == 0);
    CHECK_FALSE(g_record.caught_as_cpp);
    CHECK_FALSE(g_record.returned);
    CHECK(exit_code == 0);
}
