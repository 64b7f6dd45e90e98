// The item list's in-place tip: hovering over a row whose text is cut off (or runs past the client's edge)
// shows the whole text in a tracking tooltip laid over the row; leaving the row or the list hides it.
#include "ui/item_list_control.h"

#include <commctrl.h>

namespace {

// The tool of the tip window: the list itself, tracked at absolute positions, transparent to the mouse.
TTTOOLINFOW tip_tool(HWND list) {
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
    tool.hwnd = list;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.hinst = GetModuleHandleW(nullptr);
    return tool;
}

}  // namespace

void item_list_control::hover(WPARAM keys, LPARAM lparam) {
    if (tip_shown() || m_autoscroll_active || (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) != 0) return;
    POINT at = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
    bool past_end = false;
    uint32_t row = item_list::hit_test(m_layout, content_point(lparam), false, past_end);
    if (row == item_list::none) return;
    std::wstring text = m_host->item_text(row);
    HDC dc = GetDC(m_window);
    HGDIOBJ previous = SelectObject(dc, m_font);
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    ReleaseDC(m_window, dc);
    RECT client, tip;
    GetClientRect(m_window, &client);
    if (item_list::tip_placement(m_layout, m_metrics, row, extent.cx, at, client.right, client.bottom, tip))
        show_tip(tip, text);
}

void item_list_control::show_tip(const RECT& client_rect, const std::wstring& text) {
    if (m_tip_window == nullptr) {
        if (m_tip_failed) return;
        // No prefix processing: the row text shows as it is, ampersands included.
        m_tip_window = CreateWindowExW(WS_EX_TRANSPARENT | WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                       WS_POPUP | TTS_NOPREFIX, 0, 0, 0, 0, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
        TTTOOLINFOW tool = tip_tool(m_window);
        tool.lpszText = const_cast<wchar_t*>(L"");
        if (m_tip_window == nullptr || !SendMessageW(m_tip_window, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
            destroy_tip();
            m_tip_failed = true;  // the list goes on without tips
            return;
        }
        SendMessageW(m_tip_window, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    }
    m_tip_text = text;
    m_tip_rect = client_rect;
    MapWindowPoints(m_window, nullptr, reinterpret_cast<POINT*>(&m_tip_rect), 2);
    TTTOOLINFOW tool = tip_tool(m_window);
    tool.lpszText = &m_tip_text[0];
    SendMessageW(m_tip_window, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(m_tip_window, TTM_TRACKPOSITION, 0, MAKELPARAM(m_tip_rect.left, m_tip_rect.top));
    SendMessageW(m_tip_window, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    SetTimer(m_window, tip_timer, 50, nullptr);
}

void item_list_control::check_tip(POINT screen) {
    if (!tip_shown()) return;
    RECT client;
    GetClientRect(m_window, &client);
    MapWindowPoints(m_window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    if (!PtInRect(&client, screen) || !PtInRect(&m_tip_rect, screen)) hide_tip();
}

void item_list_control::hide_tip() {
    if (!tip_shown()) return;
    SetRectEmpty(&m_tip_rect);
    if (m_window != nullptr) KillTimer(m_window, tip_timer);
    if (m_tip_window != nullptr) {
        TTTOOLINFOW tool = tip_tool(m_window);
        SendMessageW(m_tip_window, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    }
}

void item_list_control::destroy_tip() {
    hide_tip();
    if (m_tip_window != nullptr) DestroyWindow(m_tip_window);
    m_tip_window = nullptr;
}
