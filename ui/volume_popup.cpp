// The volume popup's dialog, its listener and its own message loop.
#include "ui/volume_popup.h"

#include <commctrl.h>

#include "foundation/kpl/win32_errors.h"
#include "playback/playback_listener.h"
#include "resources/resource_ids.h"
#include "ui/color_scheme.h"
#include "ui/volume_scale.h"
#include "ui/volume_slider.h"

namespace volume_popup {
namespace {

class popup final : public playback_listener {
public:
    popup(POINT anchor, target& volume, playback_listener_registry* listeners)
        : m_anchor(anchor), m_volume(volume), m_listeners(listeners) {}
    ~popup() {
        if (m_brush != nullptr) DeleteObject(m_brush);
    }

    void on_volume(float db) override {
        if (!m_in_update && m_slider != nullptr)
            SendMessageW(m_slider, TBM_SETPOS, TRUE, volume_scale::db_to_position(db));
    }

    void set_from_slider(int position) {
        m_in_update = true;
        try {
            m_volume.set_volume(static_cast<float>(volume_scale::position_to_db(position)));
        } catch (...) {
            m_in_update = false;
            throw;
        }
        m_in_update = false;
    }

    INT_PTR handle(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
        switch (message) {
        case WM_INITDIALOG: {
            m_dialog = dialog;
            m_slider = GetDlgItem(dialog, IDC_VOLUME_SLIDER);
            SendMessageW(m_slider, TBM_SETRANGE, FALSE, MAKELONG(0, 100));
            if (m_listeners != nullptr) {
                m_listeners->unregister_listener(this);
                m_listeners->register_listener(this, playback_event_volume, true);
            }
            RECT window;
            GetWindowRect(dialog, &window);
            int width = window.right - window.left;
            SetWindowPos(dialog, nullptr, m_anchor.x - width / 2, m_anchor.y, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOZORDER);
            return TRUE;
        }
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) done = true;
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL) done = true;
            return TRUE;
        case WM_VSCROLL:
            if (reinterpret_cast<HWND>(lparam) == m_slider)
                set_from_slider(static_cast<int>(SendMessageW(m_slider, TBM_GETPOS, 0, 0)));
            return TRUE;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC: {
            if (color_scheme::index_of(color_scheme::current()) == 0 ||
                color_scheme::index_of(color_scheme::current()) == color_scheme::count)
                return FALSE;
            HDC dc = reinterpret_cast<HDC>(wparam);
            COLORREF background = color_scheme::color(color_scheme::role_background);
            SetTextColor(dc, color_scheme::color(color_scheme::role_text));
            SetBkColor(dc, background);
            if (m_brush == nullptr || m_brush_color != background) {
                if (m_brush != nullptr) DeleteObject(m_brush);
                m_brush = CreateSolidBrush(background);
                m_brush_color = background;
            }
            return reinterpret_cast<INT_PTR>(m_brush);
        }
        default:
            return FALSE;
        }
    }

    void wheel(int delta) {
        if (m_slider == nullptr) return;
        int position = volume_scale::wheel_position(static_cast<int>(SendMessageW(m_slider, TBM_GETPOS, 0, 0)), delta);
        SendMessageW(m_slider, TBM_SETPOS, TRUE, position);
        set_from_slider(position);
    }

    bool done = false;

private:
    POINT m_anchor;
    target& m_volume;
    playback_listener_registry* m_listeners;
    HWND m_dialog = nullptr;
    HWND m_slider = nullptr;
    bool m_in_update = false;
    HBRUSH m_brush = nullptr;
    COLORREF m_brush_color = 0;
};

INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        popup* self = reinterpret_cast<popup*>(GetWindowLongPtrW(dialog, DWLP_USER));
        return self != nullptr ? self->handle(dialog, message, wparam, lparam) : FALSE;
    } catch (...) {
        return FALSE;
    }
}

// Unregisters the listener and destroys the window on every way out of run.
struct popup_scope {
    popup& object;
    playback_listener_registry* listeners;
    HWND dialog = nullptr;
    ~popup_scope() {
        if (dialog != nullptr) DestroyWindow(dialog);
        if (listeners != nullptr) listeners->unregister_listener(&object);
    }
};

}  // namespace

void run(HWND owner, POINT anchor, target& volume, playback_listener_registry* listeners) {
    volume_slider::register_class();
    popup object(anchor, volume, listeners);
    popup_scope scope{object, listeners};
    if (listeners != nullptr) listeners->register_listener(&object, 0, false);
    scope.dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VOLUME_POPUP), owner,
                                      &dialog_procedure, reinterpret_cast<LPARAM>(&object));
    if (scope.dialog == nullptr) exception_win32::throw_last_error();
    while (!object.done) {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) exception_win32::throw_last_error();
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (msg.message == WM_MOUSEWHEEL) {
            object.wheel(static_cast<short>(HIWORD(msg.wParam)));
            continue;
        }
        if (!IsDialogMessageW(scope.dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace volume_popup
