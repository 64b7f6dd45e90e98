// The threaded process: options and their implications, the delayed window, progress and item texts,
// pause and abort, failures that are reported as such (on_done aborted, run_modal false, one popup).
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <stdexcept>
#include <string>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/tasks/threaded_process.h"
#include "foundation/tasks/win32_event.h"
#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "tests/support/gui_support.h"

namespace {

// A task driven by the test: it reports what it was told to and waits for `release` before it ends.
class scripted_task final : public service_counted<threaded_process::task> {
public:
    scripted_task() {
        release_run.create();
        running.create();
        item_set_after_abort.create();
        item_checked.create();
    }

    // What run does.
    const char* item = nullptr;
    bool item_is_path = false;
    uint32_t progress = 0;
    bool wait_for_release = false;
    bool throw_failure = false;
    bool throw_abort = false;
    bool honour_pause = false;
    bool hold_after_abort = false;

    // What happened.
    HWND start_window = nullptr;
    bool done = false;
    bool done_aborted = false;
    int done_calls = 0;
    volatile bool saw_pause = false;
    // Set once run has given an item after the abort; run then waits for item_checked.
    win32_event release_run, running, item_set_after_abort, item_checked;

    void on_start(HWND dialog) override { start_window = dialog; }

    void run(threaded_process::progress_sink& sink, const abort_signal& abort) override {
        if (item) {
            if (item_is_path) {
                sink.set_item_path(item);
            } else {
                sink.set_item(item);
            }
        }
        sink.set_progress(progress);
        sink.force_update();
        running.set();
        if (honour_pause) {
            while (!sink.is_paused() && !abort.is_set()) Sleep(5);
            saw_pause = sink.is_paused();
            sink.wait_while_paused();
        }
        if (wait_for_release) {
            HANDLE events[2] = {release_run.get(), abort.get_event()};
            WaitForMultipleObjects(2, events, FALSE, 30000);
        }
        if (abort.is_set() && hold_after_abort) {
            sink.set_item("after abort");
            sink.force_update();
            item_set_after_abort.set();
            item_checked.wait(30.0);
        }
        if (throw_failure) throw std::runtime_error("disk full");
        if (throw_abort) throw ketrel_io::exception_aborted();
    }

    void on_done(HWND, bool aborted) override {
        done = true;
        done_aborted = aborted;
        ++done_calls;
    }
};

service_ptr<threaded_process> progress_service() {
    service_ptr<threaded_process> service;
    service_class::get_single(service);
    return service;
}

std::string item_text(HWND dialog) {
    kpl::utf8_string_pow2 text;
    dialog_item_get_text(dialog, IDC_PROGRESS_ITEM, text);
    return text.c_str();
}

HWND find_window_titled(const wchar_t* title) { return FindWindowW(nullptr, title); }

// Closes popup notices left by a test.
void close_popups(const wchar_t* title) {
    while (HWND popup = find_window_titled(title)) {
        DestroyWindow(popup);
        gui_test::pump_for(0.05);
    }
}

}  // namespace

TEST_CASE("threaded process options imply others and choose the dialog") {
    struct row {
        uint32_t options, effective;
        int resource;
    };
    const row rows[] = {
        {0, 0, IDD_PROGRESS},
        {0x8, 0xC, IDD_PROGRESS_TWO_BARS},
        {0x10, 0x10, IDD_PROGRESS_ITEM},
        {0x18, 0x1C, IDD_PROGRESS_TWO_BARS},
        {0x80, 0x180, IDD_PROGRESS},
        {0x1 | 0x4 | 0x10 | 0x80, 0x195, IDD_PROGRESS_ITEM},
    };
    for (const row& r : rows) {
        INFO("options " << r.options);
        CHECK(threaded_process::effective_options(r.options) == r.effective);
        CHECK(threaded_process::dialog_resource(r.options) == r.resource);
    }
    const uint32_t values[][2] = {{0, 0}, {49, 0}, {50, 1}, {2500, 50}, {4999, 99}, {5000, 100}, {9000, 100}};
    for (const auto& v : values) CHECK(threaded_process::bar_percent(v[0]) == int(v[1]));
    kpl::utf8_string_pow2 caption;
    threaded_process::failure_caption("Updating Files", caption);
    CHECK(std::string(caption.c_str()) == "Unhandled exception in \"Updating Files\"");
}

TEST_CASE("a delayed progress dialog appears after its delay, shows progress and items, pauses and aborts") {
    gui_test::registry_scope registry;
    scripted_task* task = new scripted_task;
    task->item = "file://C:\\Music\\Rock & Roll.flac";
    task->item_is_path = true;
    task->progress = 2500;
    task->honour_pause = true;
    task->wait_for_release = true;
    task->hold_after_abort = true;
    const uint32_t options = threaded_process::option_abort_button | threaded_process::option_progress_bar |
                             threaded_process::option_item_text | threaded_process::option_pause_button |
                             threaded_process::option_delayed_window;
    CHECK(progress_service()->run_nonblocking(task, options, nullptr, "Updating Files"));
    HWND dialog = task->start_window;
    REQUIRE(dialog != nullptr);
    CHECK_FALSE(IsWindowVisible(dialog));  // hidden for the first 500 ms
    CHECK(task->running.wait(5.0));
    gui_test::pump_for(0.3);
    CHECK_FALSE(IsWindowVisible(dialog));
    CHECK(gui_test::pump_until([&] { return IsWindowVisible(dialog) != FALSE; }, 3.0));
    CHECK(gui_test::pump_until([&] { return SendDlgItemMessageW(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0) == 50; }));
    CHECK(gui_test::pump_until([&] { return item_text(dialog) == "C:\\Music\\Rock && Roll.flac"; }));
    CHECK(IsWindowEnabled(GetDlgItem(dialog, IDC_PROGRESS_ABORT)));
    gui_test::scenario_step("progress-shown");

    // Pause: the task sees the button's state.
    SendDlgItemMessageW(dialog, IDC_PROGRESS_PAUSE, BM_CLICK, 0, 0);
    CHECK(gui_test::pump_until([&] { return task->saw_pause; }));
    gui_test::scenario_step("progress-paused");

    // Abort: an item given afterwards is not shown (the dialog still stands, refreshing, while run waits);
    // on_done says aborted even though run itself ended normally.
    SendDlgItemMessageW(dialog, IDC_PROGRESS_ABORT, BM_CLICK, 0, 0);
    CHECK(gui_test::pump_until([&] { return task->item_set_after_abort.wait(0); }));
    gui_test::pump_for(0.6);  // more than two refresh periods
    REQUIRE(IsWindow(dialog));
    CHECK(item_text(dialog) == "C:\\Music\\Rock && Roll.flac");
    task->item_checked.set();
    CHECK(gui_test::pump_until([&] { return task->done; }));
    CHECK(task->done_aborted);
    CHECK(gui_test::pump_until([&] { return !IsWindow(dialog); }));
    CHECK(task->done_calls == 1);
}

TEST_CASE("a delayed progress dialog whose task ends within the delay never shows") {
    gui_test::registry_scope registry;
    scripted_task* task = new scripted_task;
    CHECK(progress_service()->run_nonblocking(task, threaded_process::option_delayed_window, nullptr, "Quick"));
    HWND dialog = task->start_window;
    REQUIRE(dialog != nullptr);
    bool ever_visible = false;
    CHECK(gui_test::pump_until([&] {
        ever_visible = ever_visible || IsWindowVisible(dialog);
        return task->done;
    }));
    CHECK_FALSE(ever_visible);
    CHECK_FALSE(task->done_aborted);
}

TEST_CASE("a task that fails is reported as not completed, with one popup notice") {
    gui_test::registry_scope registry;
    const wchar_t* caption = L"Unhandled exception in \"Writing Tags\"";
    close_popups(caption);

    SUBCASE("non-blocking: on_done hears aborted") {
        scripted_task* task = new scripted_task;
        task->throw_failure = true;
        CHECK(progress_service()->run_nonblocking(task, threaded_process::option_progress_bar, nullptr, "Writing Tags"));
        CHECK(gui_test::pump_until([&] { return task->done; }));
        CHECK(task->done_aborted);
        CHECK(gui_test::pump_until([&] { return find_window_titled(caption) != nullptr; }));
        HWND popup = find_window_titled(caption);
        kpl::utf8_string_pow2 text;
        dialog_item_get_text(popup, IDC_POPUP_NOTICE_TEXT, text);
        CHECK(std::string(text.c_str()) == "disk full");
        gui_test::scenario_step("progress-failed");
        DestroyWindow(popup);
        gui_test::pump_for(0.1);
        CHECK(find_window_titled(caption) == nullptr);  // exactly one
    }
    SUBCASE("modal: run_modal answers false") {
        scripted_task* task = new scripted_task;
        task->throw_failure = true;
        service_ptr<threaded_process::task> hold(task);
        task->release();
        CHECK_FALSE(progress_service()->run_modal(task, threaded_process::option_progress_bar, nullptr, "Writing Tags"));
        CHECK(task->done_aborted);
        CHECK(gui_test::pump_until([&] { return find_window_titled(caption) != nullptr; }));
        close_popups(caption);
    }
    SUBCASE("modal: a task ending with \"User abort\" counts as aborted without a popup") {
        scripted_task* task = new scripted_task;
        task->throw_abort = true;
        service_ptr<threaded_process::task> hold(task);
        task->release();
        CHECK_FALSE(progress_service()->run_modal(task, 0, nullptr, "Writing Tags"));
        CHECK(task->done_aborted);
        gui_test::pump_for(0.2);
        CHECK(find_window_titled(caption) == nullptr);
    }
    SUBCASE("modal: a task that completes answers true") {
        scripted_task* task = new scripted_task;
        service_ptr<threaded_process::task> hold(task);
        task->release();
        CHECK(progress_service()->run_modal(task, threaded_process::option_progress_bar, nullptr, "Writing Tags"));
        CHECK(task->done);
        CHECK_FALSE(task->done_aborted);
    }
}

TEST_CASE("without the abort option the Abort button is disabled and the window menu gone") {
    gui_test::registry_scope registry;
    scripted_task* task = new scripted_task;
    task->wait_for_release = true;
    CHECK(progress_service()->run_nonblocking(task, threaded_process::option_progress_bar, nullptr, "No abort"));
    HWND dialog = task->start_window;
    REQUIRE(dialog != nullptr);
    CHECK_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PROGRESS_ABORT)));
    CHECK((GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) == 0);
    CHECK_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PROGRESS_PAUSE)));
    SendMessageW(dialog, WM_COMMAND, IDC_PROGRESS_ABORT, 0);  // refused without the option
    gui_test::pump_for(0.1);
    CHECK_FALSE(task->done);
    task->release_run.set();
    CHECK(gui_test::pump_until([&] { return task->done; }));
    CHECK_FALSE(task->done_aborted);
}
