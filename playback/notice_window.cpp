#include "playback/notice_window.h"

#include "foundation/win32/window_object.h"
#include "resources/resource_ids.h"

bool notice_window::process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                    DWORD) {
    if (on_message(dialog, message, wparam, lparam, result)) return true;
    switch (message) {
        case WM_SIZE:
            fit_text(dialog);
            return false;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wparam);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetDCBrushColor(dc, GetSysColor(COLOR_WINDOW));
            result = reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
            return true;
        }
        case WM_COMMAND:
            if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
                DestroyWindow(dialog);
                result = 0;
                return true;
            }
            return false;
        case WM_CLOSE:
            DestroyWindow(dialog);
            result = 0;
            return true;
        default:
            return false;
    }
}

HWND notice_window::open(notice_window* notice, HWND owner) {
    HWND window = nullptr;
    try {
        window = notice->create_modeless(owner, IDD_POPUP_NOTICE);
    } catch (...) {
        delete notice;  // a window made and destroyed during the failure left the object alone
        throw;
    }
    notice->m_window_owns = true;
    return window;
}

void notice_window::on_final_message(HWND) {
    if (m_window_owns) delete this;
}

void notice_window::prepare_frame(HWND dialog) {
    fit_text(dialog);
    window_set_exstyle(dialog, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)) | WS_EX_DLGMODALFRAME,
                       SWP_FRAMECHANGED);
}

void notice_window::fit_text(HWND dialog) {
    RECT client;
    if (!GetClientRect(dialog, &client)) return;
    HWND text = GetDlgItem(dialog, IDC_POPUP_NOTICE_TEXT);
    if (text) MoveWindow(text, 0, 0, client.right, client.bottom, TRUE);
}

void notice_line_breaks(const char* text, kpl::utf8_string& out) {
    out.reset();
    if (!text) return;
    const char* run = text;
    for (const char* p = text;; ++p) {
        if (*p == '\r' || *p == '\n' || *p == 0) {
            out.append(run, static_cast<uint32_t>(p - run));
            if (*p == 0) break;
            if (*p == '\n') out.append("\r\n", 2);
            run = p + 1;
        }
    }
}
