// The item list's middle-button autoscroll: a middle click marks the start point; every 15 ms the list
// scrolls by pixels towards the pointer, faster the farther away it is, until any button is pressed or
// released or the capture is lost.
#include "foundation/win32/autoscroll.h"
#include "ui/item_list_control.h"

namespace {

constexpr int k_marker_size = 32;

int screen_dpi() {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

bool item_list_control::autoscroll_message(UINT message, WPARAM wparam, LPARAM lparam) {
    if (autoscroll_ended_by(message)) {
        if (m_autoscroll_active) stop_autoscroll();
        return false;  // the button still gets its usual handling
    }
    switch (message) {
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        if (m_autoscroll_active) {
            stop_autoscroll();
        } else {
            m_selection.hide_caret_frame();
            SetFocus(m_window);
            POINT at = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            ClientToScreen(m_window, &at);
            start_autoscroll(at);
        }
        return true;
    case WM_MBUTTONUP:
        if (m_autoscroll_active) stop_autoscroll();
        return true;
    case WM_MOUSEMOVE:
        return m_autoscroll_active;
    case WM_SETCURSOR:
        if (!m_autoscroll_active) return false;
        SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
        return true;
    case WM_TIMER:
        if (wparam != autoscroll_timer) return false;
        if (m_autoscroll_active) {
            DWORD at = GetMessagePos();
            autoscroll_tick(POINT{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))});
        }
        return true;
    case WM_CAPTURECHANGED:
        if (m_autoscroll_active) autoscroll_ended();
        return false;
    case WM_DESTROY:
        if (m_autoscroll_active) autoscroll_ended();
        return false;
    default:
        return false;
    }
}

void item_list_control::start_autoscroll(POINT screen) {
    hide_tip();
    if (m_marker == nullptr) m_marker = autoscroll_create_indicator();
    SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
    m_origin = screen;
    m_rest_x = m_rest_y = 0;
    m_autoscroll_active = true;
    SetCapture(m_window);
    SetTimer(m_window, autoscroll_timer, 15, nullptr);
    if (m_marker != nullptr)
        SetWindowPos(m_marker, HWND_TOPMOST, screen.x - k_marker_size / 2, screen.y - k_marker_size / 2, k_marker_size,
                     k_marker_size, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void item_list_control::stop_autoscroll() {
    if (GetCapture() == m_window) ReleaseCapture();  // WM_CAPTURECHANGED ends it
    if (m_autoscroll_active) autoscroll_ended();
}

void item_list_control::autoscroll_ended() {
    m_autoscroll_active = false;
    KillTimer(m_window, autoscroll_timer);
    if (m_marker != nullptr) ShowWindow(m_marker, SW_HIDE);
}

void item_list_control::autoscroll_tick(POINT cursor) {
    if (!m_autoscroll_active) return;
    POINT step = item_list::autoscroll_step(cursor.x - m_origin.x, cursor.y - m_origin.y, screen_dpi(), m_rest_x,
                                            m_rest_y);
    if (step.x != 0 || step.y != 0) scroll_to(m_layout.scroll_x + step.x, m_layout.scroll_y + step.y);
}
