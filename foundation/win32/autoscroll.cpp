#include "foundation/win32/autoscroll.h"

#include <cmath>
#include <cstdlib>

#include "resources/resource_ids.h"

namespace {

const wchar_t k_indicator_class[] = L"Vorn:AutoscrollIndicator";
constexpr COLORREF k_transparent = RGB(255, 0, 255);
constexpr int k_indicator_size = 32;

LRESULT CALLBACK indicator_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        HBRUSH key = CreateSolidBrush(k_transparent);
        FillRect(dc, &client, key);
        DeleteObject(key);
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_AUTOSCROLL), IMAGE_ICON,
                                                   k_indicator_size, k_indicator_size, 0));
        if (icon) {
            DrawIconEx(dc, 0, 0, icon, k_indicator_size, k_indicator_size, 0, nullptr, DI_NORMAL);
            DestroyIcon(icon);
        }
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_NCHITTEST) return HTTRANSPARENT;
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND autoscroll_create_indicator() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW window_class = {};
        window_class.lpfnWndProc = &indicator_procedure;
        window_class.hInstance = GetModuleHandleW(nullptr);
        window_class.lpszClassName = k_indicator_class;
        window_class.hCursor = LoadCursorW(nullptr, IDC_SIZEALL);
        registered = RegisterClassW(&window_class) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
    HWND indicator = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE,
                                     k_indicator_class, L"", WS_POPUP, 0, 0, k_indicator_size, k_indicator_size,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (indicator) SetLayeredWindowAttributes(indicator, k_transparent, 0, LWA_COLORKEY);
    return indicator;
}

namespace {

int sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

// Floors an amount to whole pixels, keeping the fraction for the next tick.
int take_whole(double amount, double& fraction) {
    const double whole = std::floor(amount);
    fraction = amount - whole;
    return static_cast<int>(whole);
}

// Whole steps in the pixels (plus the remainder carried), keeping what is short of a step.
int take_steps(int pixels, int step, int& remainder) {
    if (step <= 0) return 0;
    const int total = pixels + remainder;
    remainder = total % step;
    return total / step;
}

}  // namespace

bool autoscroll_compute(int dx, int dy, int dpi_x, int dpi_y, int step_x, int step_y, autoscroll_state& state,
                        autoscroll_steps& out) {
    out = autoscroll_steps{};
    if (dpi_x <= 0 || dpi_y <= 0 || (dx == 0 && dy == 0)) return false;
    const double sx = 96.0 / dpi_x;
    const double sy = 96.0 / dpi_y;
    const double distance = std::sqrt((dx * sx) * (dx * sx) + (dy * sy) * (dy * sy));
    const double speed = (0.03 * distance) * (0.03 * distance);
    double vertical, horizontal;
    if (dx == 0) {
        vertical = speed;
        horizontal = 0;
    } else if (dy == 0) {
        vertical = 0;
        horizontal = speed;
    } else {
        const double ratio = static_cast<double>(dx) / dy;
        vertical = speed / std::sqrt(ratio * ratio + 1);
        horizontal = ratio * vertical;
    }
    const int pixels_y = take_whole(sign(dy) * std::fabs(vertical) / sy + state.fraction_y, state.fraction_y);
    const int pixels_x = take_whole(sign(dx) * std::fabs(horizontal) / sx + state.fraction_x, state.fraction_x);
    out.y = take_steps(pixels_y, MulDiv(step_y, dpi_y, 96), state.remainder_y);
    out.x = take_steps(pixels_x, MulDiv(step_x, dpi_x, 96), state.remainder_x);
    return true;
}

void autoscroll_scroll_axis(HWND window, int bar, int steps) {
    if (steps == 0) return;
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE;
    if (!GetScrollInfo(window, bar, &info) || info.nPage == 0) return;
    const UINT message = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
    const bool forward = steps > 0;
    int count = std::abs(steps);
    const int page = static_cast<int>(info.nPage);
    while (count >= page) {
        SendMessageW(window, message, forward ? SB_PAGEDOWN : SB_PAGEUP, 0);
        count -= page;
    }
    for (; count > 0; --count) SendMessageW(window, message, forward ? SB_LINEDOWN : SB_LINEUP, 0);
}

autoscroll_helper::~autoscroll_helper() {
    if (m_indicator) DestroyWindow(m_indicator);
}

bool autoscroll_ended_by(UINT message) {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_XBUTTONDOWN:
        case WM_XBUTTONUP:
        case WM_XBUTTONDBLCLK:
            return true;
        default:
            return false;
    }
}

bool autoscroll_helper::handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    if (autoscroll_ended_by(message)) {
        if (m_active) stop();
        return false;
    }
    switch (message) {
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            if (m_active) {
                stop();
            } else {
                start(window, POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
            }
            result = 0;
            return true;
        case WM_MBUTTONUP:
            if (!m_active) return false;
            stop();
            result = 0;
            return true;

        case WM_TIMER:
            if (wparam != timer_id) return false;
            if (m_active) tick(window);
            result = 0;
            return true;
        case WM_CAPTURECHANGED:
            if (m_active) end_mode(window);
            return false;
        case WM_DESTROY:
            if (m_active) end_mode(window);
            if (m_indicator) {
                DestroyWindow(m_indicator);
                m_indicator = nullptr;
            }
            return false;
        default:
            return false;
    }
}

void autoscroll_helper::start(HWND window, POINT point) {
    SetFocus(window);
    ClientToScreen(window, &point);
    ReleaseCapture();
    if (m_indicator == nullptr) m_indicator = autoscroll_create_indicator();
    SetCursor(LoadCursorW(nullptr, IDC_SIZEALL));
    m_active = true;
    m_origin = point;
    m_state = autoscroll_state{};
    SetCapture(window);
    SetTimer(window, timer_id, timer_period_ms, nullptr);
    if (m_indicator) {
        SetWindowPos(m_indicator, HWND_TOPMOST, point.x - k_indicator_size / 2, point.y - k_indicator_size / 2,
                     k_indicator_size, k_indicator_size, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

void autoscroll_helper::stop() { ReleaseCapture(); }

void autoscroll_helper::end_mode(HWND window) {
    m_active = false;
    KillTimer(window, timer_id);
    if (m_indicator) ShowWindow(m_indicator, SW_HIDE);
    m_state.remainder_x = m_state.remainder_y = 0;
}

void autoscroll_helper::tick(HWND window) {
    const DWORD position = GetMessagePos();
    const int dx = static_cast<short>(LOWORD(position)) - m_origin.x;
    const int dy = static_cast<short>(HIWORD(position)) - m_origin.y;
    HDC screen = GetDC(nullptr);
    const int dpi_x = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpi_y = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    autoscroll_steps steps;
    if (!autoscroll_compute(dx, dy, dpi_x, dpi_y, m_step_x, m_step_y, m_state, steps)) return;
    autoscroll_scroll_axis(window, SB_VERT, steps.y);
    autoscroll_scroll_axis(window, SB_HORZ, steps.x);
}
