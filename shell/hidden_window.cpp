#include "shell/hidden_window.h"

#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop_hooks.h"
#include "shell/single_instance.h"

namespace {

const wchar_t k_class_name[] = L"{53229DFC-A273-45cd-A3A4-161FA9FC6414}";

const UINT g_shell_hook_message = RegisterWindowMessageW(L"SHELLHOOK");

LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == g_shell_hook_message && g_shell_hook_message != 0) {
        if (wparam == 12 /* HSHELL_APPCOMMAND */ && service_registry::is_running()) {
            return handle_app_command(lparam) ? 1 : 0;
        }
        return 0;
    }
    switch (message) {
        case WM_DESTROY:
            if (app_state.shell_hook_registered) {
                app_state.shell_hook_registered = false;
                DeregisterShellHookWindow(window);
            }
            break;
        case main_thread_queue_message:
            if (wparam == main_thread_queue_wparam && lparam == main_thread_queue_lparam) {
                assert_not_in_playback_callback();
                main_thread_queue::drain(false);
            }
            return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK hidden_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        return handle_message(window, message, wparam, lparam);
    } catch (...) {
        crash_from_callback();
    }
}

}  // namespace

UINT shell_hook_message() noexcept { return g_shell_hook_message; }

void hidden_window_create() {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = &hidden_window_procedure;
    window_class.hInstance = app_module_handle();
    window_class.lpszClassName = k_class_name;
    SetLastError(0);
    if (!RegisterClassW(&window_class)) exception_win32::throw_last_error();
    HWND window = CreateWindowExW(0, k_class_name, L"uninteresting", 0, 0, 0, 0, 0, app_state.main_window, nullptr,
                                  app_module_handle(), nullptr);
    if (!window) {
        DWORD error = GetLastError();
        UnregisterClassW(k_class_name, app_module_handle());
        throw exception_win32(error);
    }
    app_state.hidden_window = window;
}

void hidden_window_destroy() noexcept {
    if (app_state.hidden_window) DestroyWindow(app_state.hidden_window);
    app_state.hidden_window = nullptr;
    UnregisterClassW(k_class_name, app_module_handle());
}
