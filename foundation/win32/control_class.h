#pragma once
// The window class of a custom control whose state is a C++ object kept in the window's first extra
// pointer: made at WM_NCCREATE, deleted at WM_NCDESTROY, and every message in between handled through it
// with C++ exceptions stopped at the procedure (the message then goes to DefWindowProcW).
//
//     struct dial_state {
//         explicit dial_state(HWND window) : window(window) {}
//         HWND window;
//         int position = 0;
//     };
//     LRESULT dial_handle(dial_state& s, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
//         if (message == WM_PAINT) { paint(s); return 0; }
//         return DefWindowProcW(window, message, wparam, lparam);
//     }
//     ATOM register_dial() {
//         static ATOM atom = 0;
//         return register_control_class(L"Vorn:Dial", &control_procedure<dial_state, &dial_handle>, atom);
//     }
//
// Main thread only.

#include <windows.h>

// Registers the class once: `atom` keeps the answer, and a later call answers it again. The class has the
// arrow cursor, redraws on resizing, one extra pointer per window, and is unregistered at exit. A failure
// throws exception_win32.
ATOM register_control_class(const wchar_t* name, WNDPROC procedure, ATOM& atom);

// The state object of a window of such a class (null before WM_NCCREATE and after WM_NCDESTROY).
template <class State>
State* control_state(HWND window) {
    return reinterpret_cast<State*>(GetWindowLongPtrW(window, 0));
}

// The window procedure of a control class: State is made from the window at WM_NCCREATE (a constructor that
// throws fails the creation) and deleted at WM_NCDESTROY; Handle sees the messages in between.
template <class State, LRESULT (*Handle)(State&, HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK control_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        if (message == WM_NCCREATE) {
            SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(new State(window)));
            return DefWindowProcW(window, message, wparam, lparam);
        }
        State* state = control_state<State>(window);
        if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, 0, 0);
            delete state;
            return DefWindowProcW(window, message, wparam, lparam);
        }
        return Handle(*state, window, message, wparam, lparam);
    } catch (...) {
        if (message == WM_NCCREATE) return FALSE;
        return DefWindowProcW(window, message, wparam, lparam);
    }
}
