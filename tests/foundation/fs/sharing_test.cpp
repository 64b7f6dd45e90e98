// Sharing violations: a file held open without sharing by another process (or another handle) makes
// the retrying front ends wait up to their time-out and then report the violation with its text, and
// makes write_replacing fail loudly while the old content stays.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "foundation/fs/disk_file.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/file_writer.h"
#include "foundation/kpl/io_exceptions.h"
#include "fs_test_support.h"

using namespace fs_test;

namespace {

const wchar_t hold_path_variable[] = L"VORN_FS_HOLD_PATH";
const wchar_t hold_ready_variable[] = L"VORN_FS_HOLD_READY";
const wchar_t hold_release_variable[] = L"VORN_FS_HOLD_RELEASE";

std::wstring environment(const wchar_t* name) {
    wchar_t value[1024];
    DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n && n < 1024 ? std::wstring(value, n) : std::wstring();
}

// A second process (this test program, running only the holder case below) that opens a file without
// sharing and keeps it open until told to let go.
class holder_process {
public:
    explicit holder_process(const std::string& path) {
        std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
        std::wstring ready_name = L"vorn-fs-hold-ready-" + tag;
        std::wstring release_name = L"vorn-fs-hold-release-" + tag;
        m_ready = CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str());
        m_release = CreateEventW(nullptr, TRUE, FALSE, release_name.c_str());
        REQUIRE(m_ready);
        REQUIRE(m_release);

        SetEnvironmentVariableW(hold_path_variable, widen(path).c_str());
        SetEnvironmentVariableW(hold_ready_variable, ready_name.c_str());
        SetEnvironmentVariableW(hold_release_variable, release_name.c_str());

        wchar_t program[MAX_PATH];
        REQUIRE(GetModuleFileNameW(nullptr, program, MAX_PATH) != 0);
        std::wstring command = L"\"" + std::wstring(program) + L"\" --no-skip --no-colors -tc=\"fs holder process\"";
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
        PROCESS_INFORMATION info = {};
        BOOL started = CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
        CloseHandle(nul);
        SetEnvironmentVariableW(hold_path_variable, nullptr);
        REQUIRE(started);
        CloseHandle(info.hThread);
        m_process = info.hProcess;
        HANDLE waits[2] = {m_ready, m_process};
        REQUIRE_MESSAGE(WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0,
                        "the holder process did not open the file");
    }

    // Lets go of the file and waits for the process to end; true when it ended well.
    bool release() {
        if (!m_process) return true;
        SetEvent(m_release);
        bool ended = WaitForSingleObject(m_process, 30000) == WAIT_OBJECT_0;
        DWORD code = 1;
        GetExitCodeProcess(m_process, &code);
        CloseHandle(m_process);
        m_process = nullptr;
        return ended && code == 0;
    }

    ~holder_process() {
        release();
        CloseHandle(m_ready);
        CloseHandle(m_release);
    }

private:
    HANDLE m_ready = nullptr;
    HANDLE m_release = nullptr;
    HANDLE m_process = nullptr;
};

double seconds_since(DWORD start) { return (GetTickCount() - start) / 1000.0; }

class text_writer : public file_writer {
public:
    explicit text_writer(std::string text, bool fail = false) : m_text(std::move(text)), m_fail(fail) {}
    void write(file_stream& file, const abort_signal& abort) override {
        file.write(m_text.data(), m_text.size(), abort);
        if (m_fail) throw ketrel_io::exception_io_device_full();
    }

private:
    std::string m_text;
    bool m_fail;
};

}  // namespace

// Runs only in the holder process started above (skipped in ordinary runs).
TEST_CASE("fs holder process" * doctest::skip()) {
    std::wstring path = environment(hold_path_variable);
    if (path.empty()) return;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, environment(hold_ready_variable).c_str());
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, environment(hold_release_variable).c_str());
    REQUIRE(ready);
    REQUIRE(release);
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(file);
    CloseHandle(ready);
    CloseHandle(release);
}

TEST_CASE("a file held by another process: retries up to the time-out, then the sharing violation") {
    registry_built registry;
    english_io_texts texts;
    scratch_folder dir;
    const std::string native = dir / "held.dat";
    const std::string location = "file://" + native;
    write_file(native, "old content");
    holder_process holder(native);
    file_stream_ref f;

    struct {
        uint32_t mode;
        double timeout;
        double at_least;
        double at_most;
    } cases[] = {
        {open_mode_read, 0.0, 0.0, 0.3},
        {open_mode_modify, 0.0, 0.0, 0.3},
        {open_mode_read, 0.5, 0.45, 3.0},
        {open_mode_create, 0.5, 0.45, 3.0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.mode);
        CAPTURE(c.timeout);
        DWORD start = GetTickCount();
        try {
            file_system_open_retrying(f, location.c_str(), c.mode, abort_never, c.timeout);
            FAIL("the open succeeded although another process holds the file");
        } catch (const ketrel_io::exception_io_sharing_violation& e) {
            CHECK(std::string(e.what()) == "File is already in use");
        }
        double elapsed = seconds_since(start);
        CHECK(elapsed >= c.at_least);
        CHECK(elapsed <= c.at_most);
    }

    // An abort during the wait ends it with the abort, not with the violation.
    abort_after_checks abort(3);
    CHECK_THROWS_AS(file_system_open_retrying(f, location.c_str(), open_mode_read, abort, 10.0),
                    ketrel_io::exception_aborted);
    CHECK_THROWS_AS(file_system_remove_retrying(location.c_str(), abort_never, 0.0),
                    ketrel_io::exception_io_sharing_violation);

    // Replacing the held file is refused (the system reports denied access or a sharing violation for a
    // target in use): the failure reaches the caller, the old content stays and no ".tmp" is left.
    text_writer writer("new content");
    CHECK_THROWS_AS(file_writer::write_replacing(writer, location.c_str(), abort_never), ketrel_io::exception_io);
    CHECK_FALSE(exists(native + ".tmp"));

    REQUIRE(holder.release());
    CHECK(read_file(native) == "old content");
    file_system_open_retrying(f, location.c_str(), open_mode_read, abort_never, 0.0);
    CHECK(f->get_size(abort_never) == 11);
}

namespace {

struct delayed_close {
    HANDLE file;
    DWORD delay_ms;
};

DWORD WINAPI close_after_delay(void* parameter) {
    auto* job = static_cast<delayed_close*>(parameter);
    Sleep(job->delay_ms);
    CloseHandle(job->file);
    return 0;
}

}  // namespace

TEST_CASE("a retrying open gets the file once its holder lets go within the time-out") {
    registry_built registry;
    scratch_folder dir;
    const std::string native = dir / "busy.dat";
    write_file(native, "abc");
    HANDLE held = CreateFileW(widen(native).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    delayed_close job{held, 300};
    HANDLE thread = CreateThread(nullptr, 0, &close_after_delay, &job, 0, nullptr);
    REQUIRE(thread);

    file_stream_ref f;
    DWORD start = GetTickCount();
    file_system_open_retrying(f, ("file://" + native).c_str(), open_mode_modify, abort_never, 10.0);
    double elapsed = seconds_since(start);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CHECK(elapsed >= 0.25);
    CHECK(elapsed < 5.0);
    CHECK(f->get_size(abort_never) == 3);
}

TEST_CASE("write_replacing replaces the target only with complete content") {
    scratch_folder dir;
    const std::string native = dir / "config.dat";
    const std::string location = "file://" + native;

    SUBCASE("a new target is created, an existing one replaced") {
        text_writer first("first");
        file_writer::write_replacing(first, location.c_str(), abort_never);
        CHECK(read_file(native) == "first");
        text_writer second("second, longer");
        file_writer::write_replacing(second, native.c_str(), abort_never);
        CHECK(read_file(native) == "second, longer");
        CHECK_FALSE(exists(native + ".tmp"));
    }
    SUBCASE("a failing writer leaves the target and no temporary file") {
        write_file(native, "kept");
        text_writer failing("partial", true);
        CHECK_THROWS_AS(file_writer::write_replacing(failing, location.c_str(), abort_never),
                        ketrel_io::exception_io_device_full);
        CHECK(read_file(native) == "kept");
        CHECK_FALSE(exists(native + ".tmp"));
    }
    SUBCASE("an abort before writing leaves the target") {
        write_file(native, "kept");
        text_writer writer("new");
        abort_after_checks abort(0);
        CHECK_THROWS_AS(file_writer::write_replacing(writer, location.c_str(), abort), ketrel_io::exception_aborted);
        CHECK(read_file(native) == "kept");
        CHECK_FALSE(exists(native + ".tmp"));
    }
    SUBCASE("a read-only target is refused") {
        write_file(native, "kept");
        REQUIRE(SetFileAttributesW(widen(native).c_str(), FILE_ATTRIBUTE_READONLY));
        text_writer writer("new");
        try {
            file_writer::write_replacing(writer, location.c_str(), abort_never);
            FAIL("a read-only target was replaced");
        } catch (const ketrel_io::exception_io&) {
            FAIL("the refusal must not be an I/O error kind");
        } catch (const std::exception& e) {
            CHECK(std::string(e.what()) == "file exists and is read-only");
        }
        SetFileAttributesW(widen(native).c_str(), FILE_ATTRIBUTE_NORMAL);
        CHECK(read_file(native) == "kept");
        CHECK_FALSE(exists(native + ".tmp"));
    }
}

namespace {

// Writes its text, then keeps the new file open through a second handle without delete sharing, as a
// virus scanner or indexer looking at a fresh file does, until let go.
class lingering_writer : public file_writer {
public:
    void write(file_stream& file, const abort_signal& abort) override {
        file.write("new content", 11, abort);
        auto* disk = dynamic_cast<disk_file*>(&file);
        REQUIRE(disk);
        REQUIRE(DuplicateHandle(GetCurrentProcess(), disk->handle(), GetCurrentProcess(), &m_handle, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    }
    void let_go() {
        if (m_handle) CloseHandle(m_handle);
        m_handle = nullptr;
    }
    ~lingering_writer() { let_go(); }

private:
    HANDLE m_handle = nullptr;
};

}  // namespace

TEST_CASE("write_replacing gives up with the sharing violation when the new file stays in use") {
    english_io_texts texts;
    scratch_folder dir;
    const std::string native = dir / "library.dat";
    write_file(native, "old content");

    lingering_writer writer;
    DWORD start = GetTickCount();
    try {
        file_writer::write_replacing(writer, ("file://" + native).c_str(), abort_never);
        FAIL("write_replacing returned although the target was never replaced");
    } catch (const ketrel_io::exception_io_sharing_violation& e) {
        CHECK(std::string(e.what()) == "File is already in use");
    }
    // 20 attempts with 50 ms sleeps after each.
    CHECK(seconds_since(start) >= 0.95);
    CHECK(seconds_since(start) < 10.0);
    writer.let_go();
    CHECK(read_file(native) == "old content");

    // Once nothing holds the new file, the same call replaces the target.
    text_writer plain("new content");
    file_writer::write_replacing(plain, ("file://" + native).c_str(), abort_never);
    CHECK(read_file(native) == "new content");
    CHECK_FALSE(exists(native + ".tmp"));
}
