#include "playback/settings_panel_host.h"

#include "foundation/win32/drawing.h"
#include "foundation/win32/window_text.h"

namespace {

class host_dialog final : public dialog_object {
public:
    host_dialog(const settings_panel_host& host, const char* name) : m_host(host), m_name(name) {}

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                initialise(dialog);
                result = TRUE;
                return true;
            case WM_COMMAND:
                if (LOWORD(wparam) == IDOK) {
                    if (m_panel) SendMessageW(m_panel, m_host.store_message, 0, reinterpret_cast<LPARAM>(m_host.store_target));
                    EndDialog(dialog, 1);
                    return true;
                }
                if (LOWORD(wparam) == IDCANCEL) {
                    EndDialog(dialog, 0);
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

private:
    void initialise(HWND dialog) {
        static const dialog_text texts[] = {{IDOK, "dialog_ok"}, {IDCANCEL, "dialog_cancel"}};
        dialog_set_texts(dialog, texts, 2);
        if (m_name && *m_name) {
            kpl::utf8_string_pow2 caption(m_host.caption_prefix);
            caption << m_name;
            window_set_text(dialog, caption);
        }
        if (m_host.create_panel) m_panel = m_host.create_panel(dialog);
        if (!m_panel) return;
        RECT client;
        GetClientRect(dialog, &client);
        if (m_host.placement == settings_panel_host::above_buttons) {
            RECT button;
            GetWindowRect(GetDlgItem(dialog, IDOK), &button);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
            SetWindowPos(m_panel, HWND_TOP, 0, 0, client.right, button.top - 4, SWP_NOACTIVATE);
        } else {
            RECT panel;
            GetWindowRect(m_panel, &panel);
            const int margin = (client.right - (panel.right - panel.left)) / 2;
            SetWindowPos(m_panel, HWND_TOP, margin, margin, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }

    const settings_panel_host& m_host;
    const char* m_name;
    HWND m_panel = nullptr;
};

}  // namespace

HWND settings_panel::create(settings_panel* panel, HWND parent, int resource, int control_id) {
    HWND window = nullptr;
    try {
        window = panel->create_modeless(parent, resource);
    } catch (...) {
        delete panel;
        throw;
    }
    panel->m_window_owns = true;
    SetWindowLongPtrW(window, GWLP_ID, control_id);
    ShowWindow(window, SW_SHOW);
    return window;
}

HFONT settings_heading_font(HWND dialog) {
    return create_scaled_bold_font(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), 1.1);
}

bool run_settings_panel_host(const settings_panel_host& host, HWND parent, const char* name) {
    host_dialog dialog(host, name);
    return dialog.run_modal(parent, host.dialog_resource) == 1;
}
