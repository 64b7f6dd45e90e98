// The message loop and its hooks: idle passes once per burst (painting, mouse movement and the caret timer
// do not re-arm them), message filters by range and newest first with removal during the walk, idle
// handler removal during a pass, modeless dialogs and wheel retargeting.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "shell/message_loop.h"
#include "shell/message_loop_hooks.h"

namespace {

struct registry_fixture {
    bool started_here = false;
    service_ptr<message_loop_hooks_ext> hooks;
    registry_fixture() {
        if (!service_registry::is_running()) {
            service_registry::start();
            started_here = true;
        }
        service_ptr<message_loop_hooks> base;
        service_class::get_single(base);
        REQUIRE(service_query(base.get(), hooks));
    }
    ~registry_fixture() {
        hooks.release();
        if (started_here) service_registry::release_table();
    }
};

// A plain, never shown window of the test's own class.
class test_window {
public:
    explicit test_window(WNDPROC procedure, HWND parent = nullptr, DWORD style = 0, RECT where = {0, 0, 0, 0}) {
        static const wchar_t name[] = L"vorn-test-window";
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name;
        RegisterClassW(&wc);  // once; later calls fail harmlessly
        m_window = CreateWindowExW(0, name, L"test", style, where.left, where.top, where.right - where.left,
                                   where.bottom - where.top, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        REQUIRE(m_window != nullptr);
        if (procedure) SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    }
    ~test_window() { DestroyWindow(m_window); }
    HWND get() const { return m_window; }

private:
    HWND m_window;
};

// --- idle passes -------------------------------------------------------------------------------------------

std::vector<std::string> g_loop_log;
UINT g_stimulus = 0;
HWND g_loop_window = nullptr;

constexpr UINT_PTR k_end_timer = 1;
constexpr UINT_PTR k_stimulus_timer = 99;

LRESULT CALLBACK loop_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == k_end_timer) {
        KillTimer(window, k_end_timer);
        g_loop_log.push_back("timer");
        return 0;
    }
    if (message == g_stimulus && (message != WM_TIMER || wparam == k_stimulus_timer)) {
        g_loop_log.push_back("stimulus");
        SetTimer(window, k_end_timer, 30, nullptr);  // arrives only once the queue is empty
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

class burst_idle final : public idle_handler {
public:
    void on_idle() override {
        g_loop_log.push_back("idle");
        if (g_loop_log.size() == 1) {
            PostMessageW(g_loop_window, g_stimulus, g_stimulus == WM_TIMER ? k_stimulus_timer : 0, 0);
        } else if (!g_loop_log.empty() && std::find(g_loop_log.begin(), g_loop_log.end(), "timer") != g_loop_log.end()) {
            PostQuitMessage(7);
        }
    }
};

// --- filters -----------------------------------------------------------------------------------------------

std::vector<std::string> g_asked;

class named_filter final : public message_filter {
public:
    explicit named_filter(const char* name, UINT consume = 0) : m_name(name), m_consume(consume) {}
    bool pretranslate(MSG* msg) override {
        g_asked.push_back(m_name);
        if (on_ask) on_ask();
        return m_consume != 0 && msg->message == m_consume;
    }
    std::function<void()> on_ask;

private:
    const char* m_name;
    UINT m_consume;
};

std::vector<std::string> asked_for(UINT message) {
    g_asked.clear();
    MSG msg = {};
    msg.message = message;
    pretranslate_message(&msg);
    return g_asked;
}

class named_idle final : public idle_handler {
public:
    explicit named_idle(const char* name) : m_name(name) {}
    void on_idle() override {
        g_asked.push_back(m_name);
        if (on_call) on_call();
    }
    std::function<void()> on_call;

private:
    const char* m_name;
};

}  // namespace

TEST_CASE("message loop: idle handlers run once per burst; paint, mouse moves and the caret timer do not re-arm") {
    registry_fixture registry;
    test_window window(&loop_window_procedure);
    g_loop_window = window.get();
    burst_idle idle;
    registry.hooks->add_idle_handler(&idle);

    struct arming_case {
        UINT message;
        bool rearms;
    };
    const arming_case cases[] = {
        {WM_PAINT, false}, {WM_NCMOUSEMOVE, false}, {0x0118, false}, {WM_MOUSEMOVE, false},
        {WM_USER + 5, true}, {WM_TIMER, true},      {WM_KEYDOWN, true},
    };
    for (const arming_case& c : cases) {
        CAPTURE(c.message);
        g_loop_log.clear();
        g_stimulus = c.message;
        // A burst of three messages first: one idle pass after them.
        for (int i = 0; i < 3; ++i) PostMessageW(window.get(), WM_NULL, 0, 0);
        CHECK(run_message_loop() == 7);
        std::vector<std::string> expected = c.rearms
                                                ? std::vector<std::string>{"idle", "stimulus", "idle", "timer", "idle"}
                                                : std::vector<std::string>{"idle", "stimulus", "timer", "idle"};
        CHECK(g_loop_log == expected);
    }
    registry.hooks->remove_idle_handler(&idle);
}

TEST_CASE("filters: asked newest first, only within their inclusive unsigned range; the first true consumes") {
    registry_fixture registry;
    named_filter all("all");
    named_filter keys("keys", WM_KEYUP);
    named_filter top("top");
    registry.hooks->add_message_filter(&all);
    registry.hooks->add_message_filter_range(&keys, 0x0100, 0x0109);
    registry.hooks->add_message_filter_range(&top, 0xFFFF0000u, 0xFFFFFFFFu);

    struct filter_case {
        UINT message;
        std::vector<std::string> asked;
    };
    const filter_case cases[] = {
        {0x0100, {"keys", "all"}},
        {0x0109, {"keys", "all"}},
        {0x00FF, {"all"}},
        {0x010A, {"all"}},
        {WM_KEYUP, {"keys"}},  // consumed by "keys": "all" is not asked
        {0xFFFFFFFFu, {"top", "all"}},
        {0x0010, {"all"}},
    };
    for (const filter_case& c : cases) {
        CAPTURE(c.message);
        CHECK(asked_for(c.message) == c.asked);
    }
    MSG msg = {};
    msg.message = WM_KEYUP;
    CHECK(pretranslate_message(&msg));
    msg.message = WM_KEYDOWN;
    CHECK_FALSE(pretranslate_message(&msg));

    registry.hooks->remove_message_filter(&keys);
    registry.hooks->remove_message_filter(&top);
    registry.hooks->remove_message_filter(&all);
    CHECK(asked_for(0x0100).empty());
}

TEST_CASE("filters: entries may be removed and added while a walk runs") {
    registry_fixture registry;
    named_filter oldest("oldest");
    named_filter middle("middle");
    named_filter newest("newest");
    named_filter added("added");
    registry.hooks->add_message_filter(&oldest);
    registry.hooks->add_message_filter(&middle);
    registry.hooks->add_message_filter(&middle);  // twice: removal takes every entry
    registry.hooks->add_message_filter(&newest);

    // The newest removes itself and the two entries of the middle one, and adds a filter at the head.
    newest.on_ask = [&] {
        registry.hooks->remove_message_filter(&newest);
        registry.hooks->remove_message_filter(&middle);
        registry.hooks->add_message_filter(&added);
    };
    CHECK(asked_for(WM_NULL) == std::vector<std::string>{"newest", "oldest"});
    newest.on_ask = nullptr;
    CHECK(asked_for(WM_NULL) == std::vector<std::string>{"added", "oldest"});

    // A filter that removes the one after it and then itself, while the walk stands on it.
    oldest.on_ask = [&] { registry.hooks->remove_message_filter(&oldest); };
    added.on_ask = [&] {
        registry.hooks->remove_message_filter(&oldest);
        registry.hooks->remove_message_filter(&added);
    };
    CHECK(asked_for(WM_NULL) == std::vector<std::string>{"added"});
    CHECK(asked_for(WM_NULL).empty());
}

TEST_CASE("idle handlers: newest first; one removed during a pass is not called later in it") {
    registry_fixture registry;
    named_idle first("first");
    named_idle second("second");
    named_idle third("third");
    named_idle late("late");
    for (named_idle* h : {&first, &second, &third}) registry.hooks->add_idle_handler(h);

    g_asked.clear();
    CHECK_FALSE(run_idle_pass());
    CHECK(g_asked == std::vector<std::string>{"third", "second", "first"});

    // "third" removes "first" (later in the pass) and adds "late" (not part of this pass).
    third.on_call = [&] {
        registry.hooks->remove_idle_handler(&first);
        registry.hooks->add_idle_handler(&late);
    };
    g_asked.clear();
    run_idle_pass();
    CHECK(g_asked == std::vector<std::string>{"third", "second"});
    third.on_call = nullptr;

    g_asked.clear();
    run_idle_pass();
    CHECK(g_asked == std::vector<std::string>{"late", "third", "second"});

    // More handlers than the list keeps inline.
    named_idle extra[6] = {named_idle("e0"), named_idle("e1"), named_idle("e2"),
                           named_idle("e3"), named_idle("e4"), named_idle("e5")};
    for (named_idle& h : extra) registry.hooks->add_idle_handler(&h);
    registry.hooks->remove_idle_handler(&extra[2]);
    g_asked.clear();
    run_idle_pass();
    CHECK(g_asked ==
          std::vector<std::string>{"e5", "e4", "e3", "e1", "e0", "late", "third", "second"});
    for (named_idle& h : extra) registry.hooks->remove_idle_handler(&h);
    for (named_idle* h : {&late, &third, &second}) registry.hooks->remove_idle_handler(h);
    g_asked.clear();
    run_idle_pass();
    CHECK(g_asked.empty());
}

TEST_CASE("modeless dialogs get keyboard messages addressed to them until removed") {
    registry_fixture registry;
    service_ptr<modeless_dialog_registry> dialogs;
    service_class::get_single(dialogs);
    test_window dialog(nullptr);
    test_window other(nullptr);

    MSG key = {};
    key.message = WM_CHAR;
    key.wParam = 'a';
    key.hwnd = dialog.get();
    CHECK_FALSE(pretranslate_message(&key));
    dialogs->add(dialog.get());
    CHECK(pretranslate_message(&key));
    key.hwnd = other.get();
    CHECK_FALSE(pretranslate_message(&key));
    dialogs->remove(dialog.get());
    key.hwnd = dialog.get();
    CHECK_FALSE(pretranslate_message(&key));
}

namespace {

struct other_thread_window {
    HWND window = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;

    static DWORD WINAPI run(void* context) {
        auto* self = static_cast<other_thread_window*>(context);
        self->window = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 500, 100, 200, 200, nullptr,
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
        SetEvent(self->ready);
        while (MsgWaitForMultipleObjects(1, &self->done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        }
        DestroyWindow(self->window);
        return 0;
    }
    other_thread_window() {
        thread = CreateThread(nullptr, 0, &run, this, 0, nullptr);
        WaitForSingleObject(ready, 10000);
    }
    ~other_thread_window() {
        SetEvent(done);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        CloseHandle(ready);
        CloseHandle(done);
    }
};

// Posts a wheel message to `target` with the cursor at (x, y), takes it off the queue and pre-translates
// it; the window it is then addressed to. A message carries the cursor position of the moment it was posted.
// Under X the pointer's own events for an earlier SetCursorPos can still reach a window of another thread
// after a later one and move the cursor back; a message posted before the cursor is where it was put is
// posted again, until its position is the one asked for (5 s at most).
HWND wheel_target_at(HWND target, int x, int y) {
    const DWORD wanted = MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y));
    const DWORD start = GetTickCount();
    for (;;) {
        SetCursorPos(x, y);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(x, y));
        if (!PeekMessageW(&msg, target, WM_MOUSEWHEEL, WM_MOUSEWHEEL, PM_REMOVE)) return nullptr;
        if (GetMessagePos() == wanted) {
            pretranslate_message(&msg);
            return msg.hwnd;
        }
        if (GetTickCount() - start > 5000) {
            MESSAGE("the cursor did not stay at (" << x << ", " << y << ")");
            return nullptr;
        }
        Sleep(10);
    }
}

}  // namespace

TEST_CASE("wheel messages go to the window under the pointer only when it belongs to this thread") {
    registry_fixture registry;
    test_window top(nullptr, nullptr, WS_POPUP | WS_VISIBLE, RECT{100, 100, 400, 400});
    test_window child(nullptr, top.get(), WS_CHILD | WS_VISIBLE, RECT{0, 0, 150, 300});
    other_thread_window other;
    REQUIRE(other.window != nullptr);
    UpdateWindow(top.get());
    POINT probe = {150, 150};
    if (WindowFromPoint(probe) != child.get()) {
        MESSAGE("no window under the pointer can be found on this display; skipped");
        return;
    }

    struct wheel_case {
        const char* where;
        int x;
        int y;
        HWND expected;
    };
    const wheel_case cases[] = {
        {"over the child", 150, 150, child.get()},
        {"over the top window itself", 350, 150, top.get()},
        {"over another thread's window", 600, 150, top.get()},
    };
    for (const wheel_case& c : cases) {
        INFO(c.where);
        CHECK(wheel_target_at(top.get(), c.x, c.y) == c.expected);
    }
    // With the advanced setting off, the wheel goes where the system sent it.
    advanced_settings::wheel_scrolls_object_below_pointer->set_state(false);
    CHECK(wheel_target_at(top.get(), 150, 150) == top.get());
    advanced_settings::wheel_scrolls_object_below_pointer->set_state(true);
    CHECK(wheel_target_at(top.get(), 150, 150) == child.get());
    // Other messages keep their target wherever the pointer is.
    MSG key = {};
    key.hwnd = top.get();
    key.message = WM_KEYDOWN;
    SetCursorPos(150, 150);
    pretranslate_message(&key);
    CHECK(key.hwnd == top.get());
}
