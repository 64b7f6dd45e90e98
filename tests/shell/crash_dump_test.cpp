// Crash dumps: a crash writes "failure-N.dmp" (the first free N) into the profile folder, starting with
// "MDMP", and the process ends with the exception's code, never 0; a read-only profile gets no dump. The
// crashes run in children: this test program started again on a skipped "dump child" case.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string_array.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"

namespace {

std::wstring scratch_folder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void remove_folder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.cFileName[0] != L'.') DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void touch(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

std::string first_bytes(const std::wstring& path, DWORD count) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    char buffer[16] = {};
    DWORD read = 0;
    ReadFile(file, buffer, count, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

// Runs this program on one skipped case with VORN_CRASH_PROFILE set; the child's exit code.
DWORD run_dump_child(const wchar_t* test_case, const std::wstring& profile, bool read_only) {
    SetEnvironmentVariableW(L"VORN_CRASH_PROFILE", profile.c_str());
    SetEnvironmentVariableW(L"VORN_CRASH_READ_ONLY", read_only ? L"1" : L"0");
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + program + L"\" --no-skip --no-colors \"--test-case=" + test_case + L"\"";
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(nul);
    SetEnvironmentVariableW(L"VORN_CRASH_PROFILE", nullptr);
    SetEnvironmentVariableW(L"VORN_CRASH_READ_ONLY", nullptr);
    REQUIRE(started);
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 0xFFFFFFFF);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The child's profile from the environment, as the start-up would have set it.
void take_profile_from_environment() {
    wchar_t profile[MAX_PATH] = {};
    GetEnvironmentVariableW(L"VORN_CRASH_PROFILE", profile, MAX_PATH);
    kpl::utf8_string_pow2 url("file://");
    url << kpl::utf8_string_from_utf16(profile);
    app_state.profile_folder = url;
    wchar_t read_only[4] = {};
    GetEnvironmentVariableW(L"VORN_CRASH_READ_ONLY", read_only, 4);
    app_state.profile_read_only = read_only[0] == L'1';
    SetUnhandledExceptionFilter(&crash_exception_filter);
}

DWORD WINAPI crashing_thread(void*) { kpl::crash(); }

}  // namespace

TEST_CASE("dump child: an access violation" * doctest::skip()) {
    take_profile_from_environment();
    volatile int* nowhere = nullptr;
    *nowhere = 1;
}

TEST_CASE("dump child: a broken invariant on a worker thread" * doctest::skip()) {
    take_profile_from_environment();
    HANDLE thread = CreateThread(nullptr, 0, &crashing_thread, nullptr, 0, nullptr);
    // The crash ends the process while this thread waits (writing the dump can take long on a busy machine;
    // the parent gives up after its own time).
    WaitForSingleObject(thread, INFINITE);
}

TEST_CASE("a crash leaves failure-N.dmp in the profile and a non-zero exit code") {
    const std::wstring profile = scratch_folder(L"vorn-dump-");
    touch(profile + L"\\failure-1.dmp");
    touch(profile + L"\\failure-2.dmp");

    CHECK(run_dump_child(L"dump child: an access violation", profile, false) == EXCEPTION_ACCESS_VIOLATION);
    CHECK(first_bytes(profile + L"\\failure-3.dmp", 4) == "MDMP");

    CHECK(run_dump_child(L"dump child: a broken invariant on a worker thread", profile, false) ==
          kpl::crash_exception_code);
    CHECK(first_bytes(profile + L"\\failure-4.dmp", 4) == "MDMP");

    // A read-only profile: no dump, and still a failing exit code.
    CHECK(run_dump_child(L"dump child: an access violation", profile, true) == EXCEPTION_ACCESS_VIOLATION);
    CHECK(GetFileAttributesW((profile + L"\\failure-5.dmp").c_str()) == INVALID_FILE_ATTRIBUTES);
    remove_folder(profile);
}

TEST_CASE("dump file names: the first free number, with or without a trailing backslash") {
    const std::wstring profile = scratch_folder(L"vorn-names-");
    wchar_t name[MAX_PATH];
    REQUIRE(crash_dump_file_name(profile.c_str(), name, MAX_PATH));
    CHECK(std::wstring(name) == profile + L"\\failure-1.dmp");
    touch(profile + L"\\failure-1.dmp");
    REQUIRE(crash_dump_file_name((profile + L"\\").c_str(), name, MAX_PATH));
    CHECK(std::wstring(name) == profile + L"\\failure-2.dmp");
    CHECK_FALSE(crash_dump_file_name(profile.c_str(), name, 10));  // does not fit
    remove_folder(profile);
}
