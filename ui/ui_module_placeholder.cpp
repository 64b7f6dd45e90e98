// Placeholder of the user-interface module until the main window exists: init makes an empty top-level
// window titled "Vorn" that passes its messages to the shell's end-of-session hook first and asks the
// shell to exit when it is closed.
#include <windows.h>

#include "foundation/services/service_registry.h"
#include "shell/app_exit.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "ui/ui_module.h"

namespace {

const wchar_t k_class_name[] = L"Vorn:main_window";

end_session_hook_function g_hook = nullptr;

LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (g_hook && g_hook(window, message, wparam, lparam, result)) return result;
    if (message == WM_CLOSE) {
        app_request_exit(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        return handle_message(window, message, wparam, lparam);
    } catch (...) {
        crash_from_callback();
    }
}

class ui_module_placeholder final : public service_static<ui_module> {
public:
    const char* get_name() override { return "VORN"; }

    HWND init(end_session_hook_function hook) override {
        g_hook = hook;
        WNDCLASSW window_class = {};
        window_class.lpfnWndProc = &main_window_procedure;
        window_class.hInstance = app_module_handle();
        window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        window_class.lpszClassName = k_class_name;
        if (!RegisterClassW(&window_class)) return nullptr;
        m_window = CreateWindowExW(0, k_class_name, L"Vorn", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                                   480, nullptr, nullptr, app_module_handle(), nullptr);
        if (!m_window) {
            UnregisterClassW(k_class_name, app_module_handle());
            return nullptr;
        }
        ShowWindow(m_window, SW_SHOW);
        return m_window;
    }

    void shutdown() override {
        if (m_window) DestroyWindow(m_window);
        m_window = nullptr;
        UnregisterClassW(k_class_name, app_module_handle());
        g_hook = nullptr;
    }

    void show() override {
        if (m_window) ShowWindow(m_window, SW_RESTORE);
    }
    void hide() override {
        if (m_window) ShowWindow(m_window, SW_MINIMIZE);
    }
    bool is_visible() override { return m_window && IsWindowVisible(m_window) && !IsIconic(m_window); }
    kpl::guid get_guid() override { return vorn_module_guid; }
    void show_now_playing() override {}

private:
    HWND m_window = nullptr;
};

service_factory_single<ui_module_placeholder, ui_module> g_ui_module;

}  // namespace
