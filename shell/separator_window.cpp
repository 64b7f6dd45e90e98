#include "shell/separator_window.h"

#include <windows.h>

#include <new>

#include "foundation/kpl/win32_errors.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/static_text_paint.h"

namespace {

const wchar_t k_class_name[] = L"ketrel:separator";

struct separator_state {
    HWND window;
    HFONT font;
};

LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        separator_state* state = new (std::nothrow) separator_state{window, nullptr};
        if (!state) return FALSE;
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcW(window, message, wparam, lparam);
    }
    separator_state* state = reinterpret_cast<separator_state*>(GetWindowLongPtrW(window, 0));
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, 0, 0);
        LRESULT result = DefWindowProcW(window, message, wparam, lparam);
        delete state;
        return result;
    }
    if (!state) return DefWindowProcW(window, message, wparam, lparam);
    switch (message) {
        case WM_PAINT:
            static_text_paint(window);
            return 0;
        case WM_SETFONT:
            state->font = reinterpret_cast<HFONT>(wparam);
            if (lparam) InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(state->font);
        case WM_SETTEXT:
            InvalidateRect(window, nullptr, TRUE);
            break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK separator_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        return handle_message(window, message, wparam, lparam);
    } catch (...) {
        crash_from_callback();
    }
}

struct class_registration {
    bool registered = false;
    ~class_registration() {
        if (registered) UnregisterClassW(k_class_name, app_module_handle());
    }
};

class_registration g_registration;

}  // namespace

void register_separator_window_class() {
    if (g_registration.registered) return;
    WNDCLASSW window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.cbWndExtra = sizeof(void*);
    window_class.hInstance = app_module_handle();
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpfnWndProc = &separator_procedure;
    window_class.lpszClassName = k_class_name;
    SetLastError(0);
    if (!RegisterClassW(&window_class)) exception_win32::throw_last_error();
    g_registration.registered = true;
}
