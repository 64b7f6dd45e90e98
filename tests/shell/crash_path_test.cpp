// The crash path: a broken invariant (kpl::crash) and a C++ exception escaping a window procedure end the
// process at once with the exception code as exit code, never in an interactive debugger. Each crash runs
// in a child: this test program started again on one of the skipped "crash child" cases.
#include <doctest/doctest.h>

#include <windows.h>

#include <stdexcept>
#include <string>

#include "foundation/kpl/exceptions.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "playback/playback_controller.h"

namespace {

class throwing_call final : public service_counted<main_thread_callback> {
public:
    void run() override { throw std::runtime_error("escaped"); }
};

// Runs this program on one test case (skipped cases included); the child's exit code, or 0xFFFFFFFF when it
// had to be killed after `seconds`.
DWORD run_child_case(const wchar_t* test_case, DWORD seconds) {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + program + L"\" --no-skip --no-colors \"--test-case=" + test_case + L"\"";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(nul);
    REQUIRE(started);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 0xFFFFFFFF);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

TEST_CASE("crash child: kpl::crash" * doctest::skip()) {
    SetUnhandledExceptionFilter(&crash_exception_filter);
    kpl::crash();
}

TEST_CASE("crash child: an exception escaping the hidden window's procedure" * doctest::skip()) {
    SetUnhandledExceptionFilter(&crash_exception_filter);
    hidden_window_create();
    throwing_call* call = new throwing_call;
    main_thread_queue::post(call);
    call->release();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

TEST_CASE("crash child: a queue wake-up inside a playback-listener notification" * doctest::skip()) {
    SetUnhandledExceptionFilter(&crash_exception_filter);
    hidden_window_create();
    playback_listener_dispatch_active = true;
    SendMessageW(app_state.hidden_window, main_thread_queue_message, main_thread_queue_wparam, main_thread_queue_lparam);
    playback_listener_dispatch_active = false;
}

TEST_CASE("a crash ends the process with the crash code, without waiting in a debugger") {
    for (const wchar_t* child : {L"crash child: kpl::crash", L"crash child: an exception escaping the hidden window's procedure",
                                 L"crash child: a queue wake-up inside a playback-listener notification"}) {
        INFO(std::string(child, child + wcslen(child)));
        CHECK(run_child_case(child, 60) == kpl::crash_exception_code);
    }
}
