// The single-instance guard in one process: the profile hash and mutex name, the forwarded block format,
// the instance window's answers, command lines that arrive while the instance starts (kept until the
// services run) or stops (refused, so the sender does not take them for delivered), a command line sent
// again after a wait that timed out (handled once), and media keys.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/kpl/crc32.h"
#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "shell/single_instance.h"
#include "tests/shell/shell_fixtures.h"

namespace {

std::vector<char> bytes(const std::string& s) { return std::vector<char>(s.begin(), s.end()); }

LRESULT send_block(HWND window, ULONG_PTR kind, const std::vector<char>& data, WPARAM token = 0) {
    COPYDATASTRUCT copy = {};
    copy.dwData = kind;
    copy.cbData = static_cast<DWORD>(data.size());
    copy.lpData = data.empty() ? nullptr : const_cast<char*>(data.data());
    return SendMessageW(window, WM_COPYDATA, token, reinterpret_cast<LPARAM>(&copy));
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A profile of its own, the main window stood in for by a plain window, app_state restored afterwards.
struct instance_fixture {
    shell_test::scratch_folder profile;
    kpl::utf8_string_tight saved_profile = app_state.profile_folder;
    HWND saved_main = app_state.main_window;
    HWND stand_in = CreateWindowExW(0, L"STATIC", L"main", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    bool was_running = service_registry::is_running();
    instance_record record;

    explicit instance_fixture(const char* folder = "vorn-instance-test") : profile(folder) {
        record.command_line = "test_shell.exe";
        app_state.profile_folder = ("file://" + profile.path).c_str();
        app_state.main_window = stand_in;
        app_state.shutting_down = false;
    }
    ~instance_fixture() {
        single_instance_release(record);
        app_state.profile_folder = saved_profile;
        app_state.main_window = saved_main;
        app_state.shutting_down = false;
        DestroyWindow(stand_in);
        if (was_running && !service_registry::is_running()) service_registry::start();
        if (!was_running && service_registry::is_running()) service_registry::release_table();
    }
};

}  // namespace

TEST_CASE("profile hash: CRC-32 of the lower-cased profile text; the mutex name in upper-case hex") {
    CHECK(profile_hash("abc") == 0x352441C2);
    CHECK(profile_hash("ABC") == 0x352441C2);
    CHECK(profile_hash("file://C:\\Users\\Me\\Vorn Audio Player") == profile_hash("file://c:\\users\\me\\vorn audio player"));
    CHECK(profile_hash("\xC3\x89t\xC3\xA9") == profile_hash("\xC3\xA9T\xC3\xA9"));  // "Été" and "étÉ"
    CHECK(profile_hash("file://C:\\a") != profile_hash("C:\\a"));
    CHECK(std::string(single_instance_mutex_name(0x352441C2).c_str()) == "VORN_352441C2");
    CHECK(std::string(single_instance_mutex_name(0x0000ABCD).c_str()) == "VORN_0000ABCD");
}

TEST_CASE("forwarded blocks: exactly two zero bytes, the command line before the first, the folder after it") {
    struct block_case {
        std::string data;
        bool ok;
        const char* command_line;
        const char* base;
    };
    const block_case cases[] = {
        {std::string("vorn.exe /next\0C:\\Music\0", 24), true, "vorn.exe /next", "C:\\Music"},
        {std::string("\0\0", 2), true, "", ""},
        {std::string("vorn.exe\0C:\\x", 13), false, "", ""},
        {std::string("a\0b\0c\0", 6), false, "", ""},
        {"", false, "", ""},
    };
    for (const block_case& c : cases) {
        kpl::utf8_string_pow2 line, base;
        CHECK(parse_forwarded_block(bytes(c.data), line, base) == c.ok);
        if (c.ok) {
            CHECK(std::string(line.c_str()) == c.command_line);
            CHECK(std::string(base.c_str()) == c.base);
        }
    }
}

TEST_CASE("instance window: the hash, path queries, and command lines kept while starting, refused while stopping") {
    instance_fixture fixture;
    if (service_registry::is_running()) service_registry::release_table();
    REQUIRE(single_instance_acquire(fixture.record));
    HWND window = FindWindowW(instance_window_class, L"uninteresting");
    REQUIRE(window == fixture.record.window);
    CHECK(static_cast<uint32_t>(SendMessageW(window, WM_USER, 0, 0)) == profile_hash(app_state.profile_folder.c_str()));

    // This program's path in another case answers 1; any other path 0.
    std::wstring program = shell_test::wide(app_state.program_path.c_str());
    if (program.empty()) {
        wchar_t path[MAX_PATH];
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        program = path;
        app_state.program_path = shell_test::utf8(path).c_str();
    }
    std::wstring upper = program;
    CharUpperW(&upper[0]);
    std::vector<char> query(reinterpret_cast<const char*>(upper.data()),
                            reinterpret_cast<const char*>(upper.data() + upper.size()));
    CHECK(send_block(window, 2, query) == 1);
    std::wstring other = L"C:\\elsewhere.exe";
    CHECK(send_block(window, 2, std::vector<char>(reinterpret_cast<const char*>(other.data()),
                                                  reinterpret_cast<const char*>(other.data() + other.size()))) == 0);

    // Starting: the services do not run yet. The block is kept (answered 1), not handled.
    std::string folder = fixture.profile.path;
    fixture.profile.file("early.flac");
    std::string early = "vorn.exe early.flac";
    early.push_back('\0');
    early += folder;
    early.push_back('\0');
    shell_test::captured_log log;
    CHECK(send_block(window, 1, bytes(early)) == 1);
    CHECK(send_block(window, 1, bytes("malformed")) == 1);  // kept, dropped when handled
    pump();
    CHECK_FALSE(log.contains("Open location"));
    CHECK(fixture.record.queue.size() == 2);

    // Once the services run, the instance's own command line handles what waited.
    service_registry::start();
    process_own_command_line(fixture.record);
    CHECK(log.contains(("Open location: file://" + folder + "\\early.flac").c_str()));
    CHECK(fixture.record.queue.empty());

    // Running: handled from the posted message.
    std::string later = "vorn.exe later.flac";
    later.push_back('\0');
    later += folder;
    later.push_back('\0');
    CHECK(send_block(window, 1, bytes(later)) == 1);
    pump();
    CHECK(log.contains(("Open location: file://" + folder + "\\later.flac").c_str()));

    // A send that timed out is delivered all the same, and the sender sends again: the same token is
    // answered 1 and handled once. Another token, or none, is another command line.
    std::string again = "vorn.exe again.flac";
    again.push_back('\0');
    again += folder;
    again.push_back('\0');
    const std::string again_line = "Open location: file://" + folder + "\\again.flac";
    const WPARAM token = sizeof(WPARAM) >= 8 ? static_cast<WPARAM>(0x1234567800000042ull) : 0x12345678u;
    CHECK(send_block(window, 1, bytes(again), token) == 1);
    CHECK(send_block(window, 1, bytes(again), token) == 1);
    pump();
    CHECK(occurrences(log.text.c_str(), again_line) == 1);
    CHECK(send_block(window, 1, bytes(again), token + 1) == 1);
    CHECK(send_block(window, 1, bytes(again)) == 1);
    CHECK(send_block(window, 1, bytes(again)) == 1);
    pump();
    CHECK(occurrences(log.text.c_str(), again_line) == 4);

    // Stopping: refused and not kept.
    app_state.shutting_down = true;
    CHECK(send_block(window, 1, bytes(later)) == 0);
    CHECK(fixture.record.queue.empty());
}

TEST_CASE("single instance: the same process takes its profile again; release forgets the window") {
    instance_fixture fixture;
    REQUIRE(single_instance_acquire(fixture.record));
    HWND first = fixture.record.window;
    single_instance_release(fixture.record);
    CHECK(fixture.record.window == nullptr);
    CHECK_FALSE(IsWindow(first));
    REQUIRE(single_instance_acquire(fixture.record));
    CHECK(IsWindow(fixture.record.window));
}

TEST_CASE("media keys: the eight keys, a repeat within 50 ms ignored but answered, other keys not handled") {
    shell_test::running_services services;
    main_thread_queue::drain(true);
    struct key_case {
        uint32_t code;
        DWORD at;
        bool handled;
        uint32_t queued;  // callbacks added by this key
    };
    const key_case cases[] = {
        {11, 1000, true, 1},   // next
        {11, 1049, true, 0},   // the same key 49 ms later: a repeat
        {11, 1099, true, 1},   // 50 ms after the last one: runs again
        {12, 1100, true, 1},   // another key at once: runs
        {13, 1101, true, 1},   // stop
        {47, 1102, true, 1},   // pause
        {49, 1103, true, 1},   // fast forward
        {49, 1104, true, 0},   // repeat
        {50, 1105, true, 1},   // rewind
        {14, 1106, true, 0},   // play/pause: posted to the main window, not queued
        {46, 1107, true, 0},   // play: the same
        {8, 1108, false, 0},   // volume mute: not ours
        {50, 1109, true, 1},   // not a repeat: another key came between
    };
    for (const key_case& c : cases) {
        INFO(c.code << " at " << c.at);
        uint32_t before = main_thread_queue::pending();
        CHECK(handle_app_command_at(static_cast<LPARAM>(c.code << 16), c.at) == c.handled);
        CHECK(main_thread_queue::pending() - before == c.queued);
    }
    main_thread_queue::drain(true);  // the queued commands run (the placeholder controller does nothing)
    CHECK(main_thread_queue::pending() == 0);
}

TEST_CASE("media keys through the hidden window: the shell hook's message as Windows would deliver it") {
    shell_test::running_services services;
    main_thread_queue::drain(true);
    hidden_window_create();
    HWND hidden = app_state.hidden_window;
    REQUIRE(hidden);
    UINT shell_hook = shell_hook_message();
    REQUIRE(shell_hook != 0);
    // HSHELL_APPCOMMAND (12) with the command in the high word of lParam, the device bits above it.
    CHECK(SendMessageW(hidden, shell_hook, 12, MAKELPARAM(0, 11 | 0x8000)) == 1);
    CHECK(main_thread_queue::pending() == 1);
    CHECK(SendMessageW(hidden, shell_hook, 12, MAKELPARAM(0, 8)) == 0);
    CHECK(SendMessageW(hidden, shell_hook, 1, MAKELPARAM(0, 12)) == 0);  // another hook event
    pump();                                                              // the wake-up runs the command
    CHECK(main_thread_queue::pending() == 0);
    hidden_window_destroy();
}

namespace {

// A stand-in for another instance of the same profile that is shutting down: it answers the hash, refuses
// three command lines, then goes away (window, class and mutex) as the ending process would.
struct stopping_instance {
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    uint32_t hash = 0;
    int refused = 0;
    std::vector<WPARAM> tokens;
} g_stopping;

LRESULT CALLBACK stopping_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_USER) return g_stopping.hash;
    if (message == WM_COPYDATA) {
        g_stopping.tokens.push_back(wparam);
        if (++g_stopping.refused == 3) {
            DestroyWindow(window);
            g_stopping.window = nullptr;
            UnregisterClassW(instance_window_class, GetModuleHandleW(nullptr));
            CloseHandle(g_stopping.mutex);
            g_stopping.mutex = nullptr;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

TEST_CASE("single instance: an instance that refuses while it stops is waited for; then this start is the instance") {
    instance_fixture fixture("vorn-instance-test-stopping");  // a profile this process holds no mutex for
    g_stopping = stopping_instance();
    g_stopping.hash = profile_hash(app_state.profile_folder.c_str());
    kpl::utf8_string_pow2 name = single_instance_mutex_name(g_stopping.hash);
    g_stopping.mutex = CreateMutexW(nullptr, FALSE, shell_test::wide(name.c_str()).c_str());
    REQUIRE(g_stopping.mutex);
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = &stopping_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = instance_window_class;
    REQUIRE(RegisterClassW(&window_class));
    g_stopping.window = CreateWindowExW(0, instance_window_class, L"uninteresting", 0, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    REQUIRE(g_stopping.window);

    DWORD start = GetTickCount();
    CHECK(single_instance_acquire(fixture.record));
    CHECK(g_stopping.refused == 3);
    // Every attempt carried the same token.
    REQUIRE(g_stopping.tokens.size() == 3);
    CHECK(g_stopping.tokens[0] != 0);
    CHECK(g_stopping.tokens[1] == g_stopping.tokens[0]);
    CHECK(g_stopping.tokens[2] == g_stopping.tokens[0]);
    CHECK(IsWindow(fixture.record.window));
    CHECK(GetTickCount() - start < 5000);
}
