#pragma once
// Helpers of the window tests: pumping messages while waiting, the service registry for a test, and the
// hand-over points of the scripted GUI scenarios.

#include <windows.h>

#include "foundation/services/service_registry.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop.h"
#include "shell/message_loop_hooks.h"

namespace gui_test {

// Dispatches the thread's messages (through the main loop's filters and dialog routing) and the main-thread
// queue until the condition holds or the time is up; false when the time ran out.
template <class Condition>
bool pump_until(Condition done, double seconds = 10.0) {
    const DWORD start = GetTickCount();
    for (;;) {
        dispatch_waiting_messages();
        if (done()) return true;
        if (GetTickCount() - start > DWORD(seconds * 1000)) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// Pumps messages for the given time.
inline void pump_for(double seconds) {
    pump_until([] { return false; }, seconds);
}

// The program's service registry running for the test (started here when it was not).
struct registry_scope {
    bool started_here = false;
    registry_scope() {
        if (!service_registry::is_running()) {
            service_registry::start();
            started_here = true;
        }
    }
    ~registry_scope() {
        if (started_here) service_registry::release_table();
    }
};

// A scripted scenario's hand-over: with VORN_SCENARIO_DIR set, writes "<dir>/<name>.ready" (holding
// `info`, for example a window's screen rectangle) and pumps messages until the script creates
// "<dir>/<name>.go" (or 60 s pass); without it, does nothing.
void scenario_step(const char* name, const char* info = "");

// The same folder as a UTF-8 path; empty without VORN_SCENARIO_DIR.
bool scenario_active();

}  // namespace gui_test

#include <cstdint>
#include <vector>

namespace gui_test {

// A dialog template in memory (DLGTEMPLATE and its items), for test dialogs that have no resource.
//
//   dialog_template t(WS_POPUP | WS_CAPTION | WS_THICKFRAME | DS_SETFONT, 0, 0, 200, 100, L"Test");
//   t.add(L"BUTTON", L"OK", IDOK, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 140, 80, 50, 14);
//   dialog.run_modal_indirect(nullptr, t.get());
class dialog_template {
public:
    dialog_template(DWORD style, short x, short y, short cx, short cy, const wchar_t* title) {
        DLGTEMPLATE header = {};
        header.style = style | DS_SETFONT;
        header.x = x;
        header.y = y;
        header.cx = cx;
        header.cy = cy;
        put(&header, sizeof(header));
        word(0);  // no menu
        word(0);  // default class
        text(title);
        word(8);
        text(L"MS Shell Dlg");
    }
    void add(const wchar_t* window_class, const wchar_t* caption, WORD id, DWORD style, short x, short y, short cx,
             short cy) {
        align();
        DLGITEMTEMPLATE item = {};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        put(&item, sizeof(item));
        text(window_class);
        text(caption);
        word(0);
        count_items();
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

private:
    void put(const void* data, size_t size) {
        const WORD* words = static_cast<const WORD*>(data);
        m_words.insert(m_words.end(), words, words + size / 2);
    }
    void word(WORD w) { m_words.push_back(w); }
    void text(const wchar_t* s) {
        for (; *s; ++s) m_words.push_back(static_cast<WORD>(*s));
        m_words.push_back(0);
    }
    void align() {
        if (m_words.size() % 2) m_words.push_back(0);
    }
    void count_items() { reinterpret_cast<DLGTEMPLATE*>(m_words.data())->cdit++; }
    std::vector<WORD> m_words;
};

}  // namespace gui_test
