#include "foundation/win32/modal_scope.h"

#include <utility>

namespace {

// The thread that runs static initialisation; latched by the first use, which static initialisation below
// makes sure happens on that thread.
DWORD main_thread_id() {
    static const DWORD id = GetCurrentThreadId();
    return id;
}
[[maybe_unused]] const DWORD g_latch_main_thread = main_thread_id();

struct modal_record {
    HWND window = nullptr;
    bool active = false;
};
modal_record g_modal;

}  // namespace

bool is_main_thread() {
    if (GetCurrentThreadId() == main_thread_id()) return true;
    OutputDebugStringW(L"This function can be called only from main thread.\n");
    return false;
}

HWND window_top_level(HWND window) {
    if (window == nullptr) return nullptr;
    HWND current = window;
    while (GetWindowLongW(current, GWL_STYLE) & WS_CHILD) {
        HWND parent = GetParent(current);
        if (parent == nullptr) return window;
        current = parent;
    }
    return current;
}

void modal_scope::enter(HWND window) {
    if (m_entered) return;
    m_entered = true;
    m_window = window;
    m_active = true;
    if (!is_main_thread()) return;
    std::swap(m_window, g_modal.window);
    std::swap(m_active, g_modal.active);
}

void modal_scope::leave() {
    if (!m_entered) return;
    m_entered = false;
    if (!is_main_thread()) return;
    std::swap(m_window, g_modal.window);
    std::swap(m_active, g_modal.active);
}

bool modal_scope::can_start() { return is_main_thread() && !g_modal.active; }

bool modal_ui_allowed() { return modal_scope::can_start(); }

HWND modal_scope::active_window() { return g_modal.window; }

bool modal_scope::is_active() { return g_modal.active; }

void modal_scope::bring_to_front() {
    if (GetCurrentThreadId() != main_thread_id() || !g_modal.active || g_modal.window == nullptr) return;
    HWND window = window_top_level(g_modal.window);
    if (!IsWindowEnabled(window)) {
        window = GetWindow(window, GW_ENABLEDPOPUP);
        if (window == nullptr) {
            MessageBeep(0);
            return;
        }
    }
    SetActiveWindow(window);
    FlashWindow(window, FALSE);
    MessageBeep(0);
}
