// The real start-up and shut-down, run in this process with a portable profile beside the test program:
// the order of the steps, the unwinding when any one of them fails, quiet and windowed runs, an exit
// requested before the user interface starts, the exit request with a veto, the entry's exit codes, the
// profile folder and its lock file, and the end-of-session hook.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "foundation/services/shutdown_veto.h"
#include "foundation/services/startup_shutdown_hook.h"
#include "shell/app_exit.h"
#include "shell/app_lifecycle.h"
#include "shell/app_state.h"
#include "shell/debug_log.h"
#include "shell/profile_setup.h"
#include "shell/ui_state_service.h"
#include "ui/preferences_dialog.h"

namespace {

std::vector<std::string> g_events;
std::function<void()> g_on_hook_start;
bool g_veto_allows = true;

class test_hook final : public service_static<startup_shutdown_hook> {
public:
    void on_start() override {
        g_events.push_back("hook start");
        if (g_on_hook_start) g_on_hook_start();
    }
    void on_stop() override { g_events.push_back("hook stop"); }
};

class test_state final : public service_static<persistent_state> {
public:
    void on_startup() override { g_events.push_back("load"); }
    void on_shutdown(bool discard) override { g_events.push_back(discard ? "discard" : "save"); }
};

class test_veto final : public service_static<shutdown_veto> {
public:
    bool may_exit() override { return g_veto_allows; }
};

service_factory_single<test_hook, startup_shutdown_hook> g_test_hook;
service_factory_single<test_state, persistent_state> g_test_state;
service_factory_single<test_veto, shutdown_veto> g_test_veto;

// Records every step and undo step; can fail one step or run an action before one.
class recording_observer final : public startup_observer {
public:
    std::string fail_at;
    std::string act_at;
    std::function<void()> action;

    void on_step(const char* name) override {
        g_events.push_back(std::string("step ") + name);
        if (name == act_at && action) action();
        if (name == fail_at) throw exception_messagebox("injected failure");
    }
    void on_undo(const char* name) override { g_events.push_back(std::string("undo ") + name); }
};

std::wstring wide(const char* utf8) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, utf8);
    return w.c_str();
}

std::string program_file() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return kpl::utf8_string_from_utf16(path).c_str();
}

std::string program_folder_of_test() {
    std::string path = program_file();
    return path.substr(0, path.rfind('\\') + 1);
}

bool exists(const std::string& path) { return GetFileAttributesW(wide(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES; }

void reset_app_state() {
    close_running_file();
    app_state.quiet = app_state.portable_configuration = app_state.portable_library = false;
    app_state.profile_read_only = app_state.exit_requested = app_state.restart_requested = false;
    app_state.shutting_down = app_state.shell_hook_registered = false;
    app_state.main_window = app_state.hidden_window = nullptr;
    app_state.ui.release();
    app_state.playback.release();
    service_registry::set_saving_suppressed(false);
}

// A portable profile beside the test program, an observer, and a clean app_state afterwards.
struct app_run_fixture {
    std::string marker = program_file() + ".localconfig.opt";
    std::string profile = program_folder_of_test() + "vorn-configuration";
    recording_observer observer;

    app_run_fixture() {
        HANDLE h = CreateFileW(wide(marker.c_str()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        CloseHandle(h);
        reset_app_state();
        g_events.clear();
        g_on_hook_start = nullptr;
        set_startup_observer(&observer);
    }
    ~app_run_fixture() {
        set_startup_observer(nullptr);
        g_on_hook_start = nullptr;
        DeleteFileW(wide(marker.c_str()).c_str());
        reset_app_state();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    int run(const wchar_t* command_line) { return app_main(GetModuleHandleW(nullptr), command_line); }
};

// The start-up steps in order, each with the undo steps armed with it (an undo named before "|" is armed
// before its step runs).
struct step_row {
    const char* step;
    std::vector<const char*> undo_before;
    std::vector<const char*> undo_after;
};
const std::vector<step_row> k_steps = {
    {"command line", {}, {}},
    {"ole", {}, {"ole"}},
    {"quiet", {}, {}},
    {"program path", {}, {}},
    {"portable markers", {}, {}},
    {"profile folder", {}, {}},
    {"profile attributes", {}, {}},
    {"crash filter", {}, {}},
    {"language", {}, {}},
    {"single instance", {}, {"single instance"}},
    {"running file", {}, {}},
    {"service registry", {}, {"service registry"}},
    {"hidden window", {}, {"hidden window"}},
    {"playback", {"play order"}, {"playback"}},
    {"media library", {}, {"media library"}},
    {"user interface", {}, {"user interface"}},
    {"own command line", {}, {}},
    {"startup hooks", {}, {"startup hooks"}},
    {"current folder", {}, {}},
};

// The steps and undo steps logged when the step `fail_at` fails ("" = none fails; quiet run).
std::vector<std::string> expected_run(const std::string& fail_at) {
    std::vector<std::string> log;
    std::vector<std::string> armed;
    for (const step_row& s : k_steps) {
        for (const char* u : s.undo_before) armed.push_back(u);
        log.push_back(std::string("step ") + s.step);
        if (fail_at == s.step) break;
        if (std::string(s.step) == "service registry") log.push_back("load");
        if (std::string(s.step) == "startup hooks") log.push_back("hook start");
        for (const char* u : s.undo_after) armed.push_back(u);
    }
    for (auto it = armed.rbegin(); it != armed.rend(); ++it) {
        log.push_back("undo " + *it);
        if (*it == "startup hooks") log.push_back("hook stop");
    }
    return log;
}

}  // namespace

TEST_CASE("start-up: a quiet run takes every step in order and undoes them newest first, without saving") {
    app_run_fixture fixture;
    bool running_file_held = false;
    fixture.observer.act_at = "current folder";
    fixture.observer.action = [&] {
        // The lock file exists and nobody else can open it.
        std::string running = fixture.profile + "\\running";
        HANDLE other = CreateFileW(wide(running.c_str()).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
        running_file_held = other == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    };

    CHECK(fixture.run(L"test_shell.exe /quiet") == 0);
    CHECK(g_events == expected_run(""));
    CHECK(app_state.quiet);
    CHECK(app_state.portable_configuration);
    CHECK(std::string(app_state.profile_folder.c_str()) == "file://" + fixture.profile);
    CHECK(std::string(app_state.program_folder.c_str()) == program_folder_of_test());
    CHECK(running_file_held);
    CHECK(app_state.hidden_window == nullptr);
    CHECK_FALSE(service_registry::is_running());

    // The lock file lives until its handle closes (at process exit, here by hand).
    std::string running = fixture.profile + "\\running";
    CHECK(exists(running));
    close_running_file();
    CHECK_FALSE(exists(running));
}

TEST_CASE("start-up: a failing step unwinds exactly the steps done before it, newest first") {
    for (const step_row& s : k_steps) {
        INFO(s.step);
        app_run_fixture fixture;
        fixture.observer.fail_at = s.step;
        try {
            fixture.run(L"test_shell.exe /quiet");
            FAIL("the injected failure did not propagate");
        } catch (const exception_messagebox& e) {
            CHECK(std::string(e.what()) == "injected failure");
        }
        CHECK(g_events == expected_run(s.step));
        CHECK(app_state.hidden_window == nullptr);
        CHECK_FALSE(service_registry::is_running());
        CHECK(app_state.ui.is_empty());
        CHECK(app_state.playback.is_empty());
    }
}

TEST_CASE("start-up: a windowed run shows the main window, runs the loop until an exit request, then saves") {
    app_run_fixture fixture;
    HWND window_at_start = nullptr;
    g_on_hook_start = [&] {
        window_at_start = app_state.main_window;
        CHECK(app_request_exit(0));
    };
    CHECK(fixture.run(L"test_shell.exe") == 0);
    CHECK(window_at_start != nullptr);
    CHECK_FALSE(app_state.restart_requested);
    CHECK(app_state.exit_requested);
    CHECK(app_state.main_window == nullptr);
    CHECK(app_state.ui.is_empty());

    // The save comes after the loop and before the hooks' stop notification.
    auto at = [&](const char* event) { return std::find(g_events.begin(), g_events.end(), event) - g_events.begin(); };
    CHECK(at("step message loop") < at("save"));
    CHECK(at("save") < at("hook stop"));
    CHECK(at("hook stop") < at("undo user interface"));
    CHECK(std::count(g_events.begin(), g_events.end(), "save") == 1);
}

TEST_CASE("start-up: an exit requested while the library starts keeps the user interface from starting") {
    app_run_fixture fixture;
    HWND window_at_start = reinterpret_cast<HWND>(1);
    fixture.observer.act_at = "media library";
    fixture.observer.action = [] { CHECK(app_request_exit(0)); };
    g_on_hook_start = [&] { window_at_start = app_state.main_window; };
    CHECK(fixture.run(L"test_shell.exe") == 0);
    CHECK(window_at_start == nullptr);
    CHECK(std::count(g_events.begin(), g_events.end(), "save") == 1);  // the loop ran (and ended at once)
}

TEST_CASE("app_request_exit: a veto refuses and changes nothing; otherwise the flags are set and WM_QUIT posted") {
    reset_app_state();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    service_registry::start();
    g_veto_allows = false;
    CHECK_FALSE(app_request_exit(1));
    CHECK_FALSE(app_state.exit_requested);
    CHECK_FALSE(app_state.restart_requested);
    CHECK_FALSE(app_state.shutting_down);
    CHECK_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    g_veto_allows = true;
    CHECK(app_request_exit(1));
    CHECK(app_state.exit_requested);
    CHECK(app_state.restart_requested);
    CHECK(app_state.shutting_down);
    CHECK(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    service_registry::release_table();
    reset_app_state();
}

TEST_CASE("entry: exit codes and debugger lines for each way app_main can end") {
    struct entry_case {
        const char* name;
        std::function<int()> body;
        int exit_code;
        const char* log;
    };
    const entry_case cases[] = {
        {"normal return", [] { return 5; }, 5, "Terminated normally.\n"},
        {"shutdown request", []() -> int { throw exception_shutdownrequest("Another instance is already running"); }, 0,
         "Exiting (Another instance is already running)\n"},
        {"message box", []() -> int { throw exception_messagebox("Could not access profile folder"); }, -1,
         "Initialization failure : Could not access profile folder\n"},
        {"install damaged", []() -> int { throw exception_installdamaged(); }, -1,
         "Initialization failure : Internal error - one or more of the installed components have been damaged.\n"},
        {"win32 error 8", []() -> int { throw exception_win32(8); }, -1,
         "Initialization failure : Not enough system resources available.\n"},
        {"win32 error 14", []() -> int { throw exception_win32(14); }, -1,
         "Initialization failure : Not enough system resources available.\n"},
    };
    reset_app_state();
    app_state.quiet = true;  // no message boxes
    for (const entry_case& c : cases) {
        INFO(c.name);
        kpl::utf8_string_pow2 captured;
        debug_log_capture(&captured);
        auto call = [](void* body) { return (*static_cast<const std::function<int()>*>(body))(); };
        int code = run_entry_guarded(call, const_cast<std::function<int()>*>(&c.body));
        debug_log_capture(nullptr);
        CHECK(code == c.exit_code);
        CHECK(std::string(captured.c_str()) == c.log);
    }

    // Other exceptions are not the entry's to handle: they leave it (to end the process abnormally).
    auto access_denied = [](void*) -> int { throw exception_win32(5); };
    CHECK_THROWS_AS(run_entry_guarded(access_denied, nullptr), exception_win32);
    auto plain = [](void*) -> int { throw std::runtime_error("plain"); };
    CHECK_THROWS_AS(run_entry_guarded(plain, nullptr), std::runtime_error);
    reset_app_state();
}

TEST_CASE("entry: a damaged installation leaves the lock file's handle open until the process ends") {
    reset_app_state();
    app_state.quiet = true;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + L"vorn-lock-test";
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    REQUIRE(handle != INVALID_HANDLE_VALUE);
    app_state.running_file_handle = handle;
    auto damaged = [](void*) -> int { throw exception_installdamaged(); };
    CHECK(run_entry_guarded(damaged, nullptr) == -1);
    CHECK(app_state.running_file_handle == INVALID_HANDLE_VALUE);
    DWORD flags = 0;
    CHECK(GetHandleInformation(handle, &flags));  // not closed
    CloseHandle(handle);
    CHECK(GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES);
    reset_app_state();
}

TEST_CASE("profile folder: application data or beside the program, created one level deep") {
    struct path_case {
        bool portable;
        const char* appdata;
        const char* expected;
    };
    const path_case cases[] = {
        {false, "C:\\users\\me\\AppData\\Roaming", "C:\\users\\me\\AppData\\Roaming\\Vorn Audio Player"},
        {false, "C:\\users\\me\\AppData\\Roaming\\", "C:\\users\\me\\AppData\\Roaming\\Vorn Audio Player"},
        {true, "C:\\users\\me\\AppData\\Roaming", "E:\\Vorn\\vorn-configuration"},
        {false, "", "E:\\Vorn\\vorn-configuration"},
        {false, nullptr, "E:\\Vorn\\vorn-configuration"},
    };
    for (const path_case& c : cases) {
        INFO(c.expected);
        CHECK(std::string(profile_path_for(c.portable, c.appdata, "E:\\Vorn\\").c_str()) == c.expected);
    }

    wchar_t temp_wide[MAX_PATH];
    GetTempPathW(MAX_PATH, temp_wide);
    std::string temp = kpl::utf8_string_from_utf16(temp_wide).c_str();
    std::string fresh = temp + "vorn-profile-test";
    RemoveDirectoryW(wide(fresh.c_str()).c_str());
    create_profile_directory(fresh.c_str());
    CHECK(exists(fresh));
    create_profile_directory(fresh.c_str());  // already a folder: nothing happens
    create_profile_directory("C:");            // a bare drive names a folder
    create_profile_directory((fresh + "\\missing\\").c_str());  // ends in a backslash: taken as a folder
    try {
        create_profile_directory((fresh + "\\missing\\deeper").c_str());
        FAIL("created two levels");
    } catch (const exception_messagebox& e) {
        CHECK(std::string(e.what()) == "Could not create profile directory");
    }
    RemoveDirectoryW(wide(fresh.c_str()).c_str());
}

TEST_CASE("end_session_hook: the end of the log-on saves, closes the lock file and answers 1") {
    reset_app_state();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + L"vorn-running-test";
    struct hook_case {
        UINT message;
        bool registry_running;
        bool handled;
        LRESULT result;
        bool saved;
        bool closes_lock;
    };
    const hook_case cases[] = {
        {WM_QUERYENDSESSION, true, true, 1, true, true},
        {WM_QUERYENDSESSION, false, true, 1, false, true},
        {WM_ENDSESSION, true, false, 1, false, false},
        {WM_CLOSE, true, false, -7, false, false},
    };
    for (const hook_case& c : cases) {
        CAPTURE(c.message);
        CAPTURE(c.registry_running);
        app_state.running_file_handle =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        REQUIRE(app_state.running_file_handle != INVALID_HANDLE_VALUE);
        if (c.registry_running) service_registry::start();
        g_events.clear();
        LRESULT result = -7;
        CHECK(end_session_hook(nullptr, c.message, 0, 0, result) == c.handled);
        CHECK(result == c.result);
        CHECK((std::count(g_events.begin(), g_events.end(), "save") == 1) == c.saved);
        CHECK((app_state.running_file_handle == INVALID_HANDLE_VALUE) == c.closes_lock);
        CHECK((GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) == c.closes_lock);
        if (c.registry_running) service_registry::release_table();
        close_running_file();
    }
    reset_app_state();
}

TEST_CASE("ui_state_service without a user interface: not visible, show and hide do nothing, preferences open") {
    reset_app_state();
    service_registry::start();
    service_ptr<ui_state_service> ui;
    service_class::get_single(ui);
    CHECK_FALSE(ui->is_visible());
    ui->show();
    ui->hide();
    ui->show_preferences(kpl::guid_null);
    CHECK(preferences_dialog::window() != nullptr);
    preferences_dialog::destroy_if_open();
    CHECK(preferences_dialog::window() == nullptr);
    service_registry::release_table();
}
