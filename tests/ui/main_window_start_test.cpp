// The real main window inside the real start-up (app_main, windowed, a portable profile beside the test
// program): a window that cannot be made ends the start-up with its message; the indexing notice shows when
// the library was already indexing before the window existed and goes when indexing ends; a folder dropped
// on the window opens.
#include <doctest/doctest.h>

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/service_registry.h"
#include "library/library_manager.h"
#include "library/media_library.h"
#include "metadata/track_handle.h"
#include "metadata/track_location.h"
#include "resources/resource_ids.h"
#include "shell/app_exit.h"
#include "shell/app_lifecycle.h"
#include "shell/app_state.h"
#include "shell/main_thread_queue.h"
#include "shell/profile_setup.h"
#include "tests/shell/shell_fixtures.h"
#include "ui/main_window_object.h"

namespace {

// A monitor that reports itself busy as soon as it is made; the test ends the work through its callback.
class busy_monitor final : public service_counted<directory_monitor_instance> {
public:
    void save_state(byte_sink&, const abort_signal&) override {}
    bool is_finished() override { return false; }
    void set_flags(uint32_t) override {}
};

class busy_monitor_service final : public service_static<directory_monitor> {
public:
    std::vector<service_ptr<folder_monitor_callback>> callbacks;
    void create_monitor(service_ptr<directory_monitor_instance>& out, folder_monitor_callback* callback, const char*,
                        file_stream*, uint32_t, library_track_list&) override {
        service_ptr<busy_monitor> made;
        made.assign(new busy_monitor);
        made->release();
        out.assign(made.get());
        callbacks.push_back(service_ptr<folder_monitor_callback>());
        callbacks.back().assign(callback);
        callback->on_busy_changed(true);
    }
};

// Names each start-up step; runs an action before a chosen one, and another before the first undo step.
class step_actions final : public startup_observer {
public:
    std::vector<std::pair<std::string, std::function<void()>>> actions;
    std::function<void()> before_undo;
    void on_step(const char* name) override {
        for (auto& each : actions)
            if (each.first == name) each.second();
    }
    void on_undo(const char*) override {
        if (before_undo) before_undo();
        before_undo = nullptr;
    }
};

std::string program_file() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return shell_test::utf8(path);
}

// A windowed start-up over a fresh portable profile beside the test program; everything undone afterwards.
struct windowed_run {
    std::string marker = program_file() + ".localconfig.opt";
    std::string profile = program_file().substr(0, program_file().rfind('\\') + 1) + "vorn-configuration";
    step_actions steps;

    windowed_run() {
        shell_test::scratch_folder::remove_all(profile);
        HANDLE h = CreateFileW(shell_test::wide(marker).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        CloseHandle(h);
        set_startup_observer(&steps);
    }
    ~windowed_run() {
        set_startup_observer(nullptr);
        library_manager::set_seams(library_manager::seams());
        close_running_file();
        app_state.instance = nullptr;
        app_state.main_window = app_state.hidden_window = nullptr;
        app_state.exit_requested = app_state.restart_requested = app_state.shutting_down = false;
        app_state.ui.release();
        app_state.playback.release();
        DeleteFileW(shell_test::wide(marker).c_str());
        shell_test::scratch_folder::remove_all(profile);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    // Runs the action once the window stands, just before the message loop, then asks the loop to end.
    void before_loop(std::function<void()> action) {
        steps.actions.push_back({"message loop", [action] {
                                     action();
                                     CHECK(app_request_exit(0));
                                 }});
    }
    int run() { return app_main(GetModuleHandleW(nullptr), L"test_ui.exe"); }
};

bool notice_visible() {
    HWND notice = GetDlgItem(app_state.main_window, IDC_MAIN_INDEXING);
    return notice != nullptr && (GetWindowLongW(notice, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The header of a dropped-files block: the offset of the names, the drop point, whether it lies outside the
// client area, whether the names are UTF-16; a zero-separated list of names follows, ended by another zero.
struct drop_files_header {
    DWORD names_offset;
    POINT point;
    BOOL non_client;
    BOOL wide;
};

// A dropped-files block with wide names, as a drag source hands it over.
HDROP make_drop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const std::wstring& path : paths) chars += path.size() + 1;
    HGLOBAL memory =
        GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(drop_files_header) + chars * sizeof(wchar_t));
    REQUIRE(memory != nullptr);
    drop_files_header* header = static_cast<drop_files_header*>(GlobalLock(memory));
    header->names_offset = sizeof(drop_files_header);
    header->wide = TRUE;
    wchar_t* at = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& path : paths) {
        path.copy(at, path.size());
        at += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

}  // namespace

TEST_CASE("start-up: a main window that cannot be made ends the start-up with the user interface's message") {
    windowed_run run;
    // The user interface step loads its dialog from a module that has none.
    run.steps.actions.push_back({"user interface", [] { app_state.instance = GetModuleHandleW(L"kernel32.dll"); }});
    // The earlier steps are undone with the program's own module (their window classes are its).
    run.steps.before_undo = [] { app_state.instance = GetModuleHandleW(nullptr); };
    std::string message;
    try {
        run.run();
    } catch (const exception_messagebox& e) {
        message = e.what();
    }
    CHECK(message == "Failed to initialize user interface, exiting.");
    CHECK(main_window_object::instance() == nullptr);
    CHECK(app_state.ui.is_empty());
    CHECK(app_state.main_window == nullptr);
    CHECK_FALSE(service_registry::is_running());
}

TEST_CASE("main window: the indexing notice follows the library, also when indexing began before the window") {
    windowed_run run;
    busy_monitor_service monitors;
    run.steps.actions.push_back({"media library", [&] {
                                     library_manager::seams seams;
                                     seams.monitors = &monitors;
                                     seams.system_folders = [](std::vector<std::string>& out) { out.clear(); };
                                     library_manager::set_seams(seams);
                                     cfg_use_windows_library_folders = false;
                                     cfg_monitor_library_folders = true;
                                     cfg_library_folders.get().clear();
                                     cfg_library_folders.get().append("C:\\indexed");
                                 }});
    // The library loads and reports indexing before the user interface starts.
    run.steps.actions.push_back({"user interface", [&] {
                                     service_ptr<media_library> library;
                                     service_class::get_single(library);
                                     track_handle_ref any;
                                     track_handle_registry::get().get_handle(any, track_location("file://C:\\x.flac", 0));
                                     library->contains(any);
                                     main_thread_queue::drain(true);
                                     REQUIRE(monitors.callbacks.size() == 1);
                                     CHECK(library->is_indexing());
                                 }});
    bool shown_at_start = false, shown_after_end = true, shown_again = false;
    run.before_loop([&] {
        shown_at_start = notice_visible();
        monitors.callbacks[0]->on_busy_changed(false);
        main_thread_queue::drain(true);
        shown_after_end = notice_visible();
        monitors.callbacks[0]->on_busy_changed(true);
        main_thread_queue::drain(true);
        shown_again = notice_visible();
        monitors.callbacks[0]->on_busy_changed(false);
        main_thread_queue::drain(true);
    });
    CHECK(run.run() == 0);
    CHECK(shown_at_start);
    CHECK_FALSE(shown_after_end);
    CHECK(shown_again);
    monitors.callbacks.clear();
}

TEST_CASE("main window: a folder dropped on the window opens") {
    shell_test::scratch_folder dropped("Dropped folder");
    CreateDirectoryW(shell_test::wide(dropped.path + "\\Inner").c_str(), nullptr);
    windowed_run run;
    std::string shown;
    run.before_loop([&] {
        shell_test::captured_log log;
        SendMessageW(app_state.main_window, WM_DROPFILES,
                     reinterpret_cast<WPARAM>(make_drop({shell_test::wide(dropped.path)})), 0);
        shown = log.text.c_str();
    });
    CHECK(run.run() == 0);
    INFO(shown);
    CHECK(shown.find("Main window shows: ") != std::string::npos);
    CHECK(shown.find("Dropped folder") != std::string::npos);
}
