#pragma once
// Tests of operations that must stop the process (kpl::crash): the test program runs one of its own
// test cases in a child process and reports how the child ended.
//
//     TEST_CASE("probe: change a snapshot" * doctest::skip()) {     // runs only in the child
//         crash_probe_child_setup();
//         run_operation(crash_probe_argument());
//     }
//     CHECK(crash_probe_run("probe: change a snapshot", "3") == kpl::crash_exception_code);
//
// In the child, crash_probe_child_setup ends the process with the exception code as soon as a
// kpl::crash exception is raised, so no crash handler or debugger gets involved.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/kpl/exceptions.h"

namespace metadata_test {

inline LONG CALLBACK crash_probe_handler(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode == kpl::crash_exception_code) {
        TerminateProcess(GetCurrentProcess(), kpl::crash_exception_code);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

inline void crash_probe_child_setup() { AddVectoredExceptionHandler(1, crash_probe_handler); }

// The argument the parent gave the child ("" when none).
inline std::string crash_probe_argument() {
    const char* value = std::getenv("VORN_CRASH_PROBE_ARGUMENT");
    return value ? value : "";
}

// Runs the named test case of this program in a child process with the argument once; returns its
// exit code (0xFFFFFFFF when it could not be started or its end was not recorded).
inline uint32_t crash_probe_run_once(const char* test_case, const char* argument) {
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"";
    command += program;
    command += L"\" --no-skip --test-case=\"";
    for (const char* p = test_case; *p; ++p) command += static_cast<wchar_t>(*p);
    command += L"\"";
    std::wstring value;
    for (const char* p = argument; *p; ++p) value += static_cast<wchar_t>(*p);
    SetEnvironmentVariableW(L"VORN_CRASH_PROBE_ARGUMENT", value.c_str());

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    DWORD start_error = started ? 0 : GetLastError();
    SetEnvironmentVariableW(L"VORN_CRASH_PROBE_ARGUMENT", nullptr);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        std::fprintf(stderr, "crash probe: the child could not be started (error %lu)\n",
                     static_cast<unsigned long>(start_error));
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0xFFFFFFFF;
    if (!GetExitCodeProcess(process.hProcess, &code)) code = 0xFFFFFFFF;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// As crash_probe_run_once, but a child that could not be started or whose end was not recorded
// (0xFFFFFFFF: neither the test program nor a crash ends that way; seen rarely under Wine with every
// processor busy) is run again, up to three times in all. Any other code is returned as it came.
inline uint32_t crash_probe_run(const char* test_case, const char* argument) {
    uint32_t code = 0xFFFFFFFF;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        code = crash_probe_run_once(test_case, argument);
        if (code != 0xFFFFFFFF) break;
        std::fprintf(stderr, "crash probe: \"%s\" %s ended without an exit code (attempt %d)\n", test_case,
                     argument, attempt);
    }
    return code;
}

}  // namespace metadata_test
