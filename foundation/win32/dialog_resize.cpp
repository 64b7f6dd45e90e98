#include "foundation/win32/dialog_resize.h"

#include <cmath>

namespace {

int shift(float factor, int delta) { return static_cast<int>(std::floor(factor * delta)); }

}  // namespace

dialog_anchor dialog_resize_helper::unpack(uint32_t packed) {
    dialog_anchor anchor = {static_cast<int>(packed & 0xFFFF), 0, 0, 0, 0};
    const uint32_t flags = packed >> 16;
    if (flags & move_x) {
        anchor.left = anchor.right = 1.0f;
    } else if (flags & stretch_x) {
        anchor.right = 1.0f;
    }
    if (flags & move_y) {
        anchor.top = anchor.bottom = 1.0f;
    } else if (flags & stretch_y) {
        anchor.bottom = 1.0f;
    }
    return anchor;
}

void dialog_resize_helper::set_anchors(const uint32_t* packed, size_t count) {
    m_anchors.clear();
    for (size_t i = 0; i < count; ++i) m_anchors.push_back(unpack(packed[i]));
}

void dialog_resize_helper::set_anchors_raw(const dialog_anchor* anchors, size_t count) {
    m_anchors.assign(anchors, anchors + count);
}

RECT dialog_resize_helper::moved_rect(const RECT& initial, const dialog_anchor& anchor, int dw, int dh) {
    return RECT{initial.left + shift(anchor.left, dw), initial.top + shift(anchor.top, dh),
                initial.right + shift(anchor.right, dw), initial.bottom + shift(anchor.bottom, dh)};
}

bool dialog_resize_helper::on_message(HWND dialog, UINT message, WPARAM, LPARAM lparam, LRESULT& result) {
    switch (message) {
        case WM_INITDIALOG:
            init(dialog);
            return false;
        case WM_SIZE:
            if (m_dialog == dialog) resize(LOWORD(lparam), HIWORD(lparam));
            return false;
        case WM_GETMINMAXINFO:
            if (m_dialog != dialog) return false;
            min_max(reinterpret_cast<MINMAXINFO*>(lparam));
            result = 0;
            return true;
        case WM_DESTROY:
            if (m_dialog == dialog) {
                m_dialog = nullptr;
                m_grip = nullptr;
                m_rects.clear();
            }
            return false;
        default:
            return false;
    }
}

void dialog_resize_helper::init(HWND dialog) {
    m_dialog = dialog;
    RECT client;
    GetClientRect(dialog, &client);
    m_initial = SIZE{client.right, client.bottom};
    m_rects.clear();
    for (const dialog_anchor& anchor : m_anchors) {
        HWND control = GetDlgItem(dialog, anchor.control);
        if (control == nullptr) continue;
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        m_rects[anchor.control] = rect;
    }
    m_grip = nullptr;
    if (GetWindowLongW(dialog, GWL_STYLE) & WS_POPUP) {
        const int size = GetSystemMetrics(SM_CXVSCROLL);
        m_grip_rect = RECT{client.right - size, client.bottom - size, client.right, client.bottom};
        m_grip = CreateWindowExW(0, L"ScrollBar", L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEGRIP | SBS_SIZEBOXBOTTOMRIGHTALIGN,
                                 m_grip_rect.left, m_grip_rect.top, size, size, dialog, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
}

void dialog_resize_helper::resize(int width, int height) {
    const int dw = width - m_initial.cx;
    const int dh = height - m_initial.cy;
    HDWP batch = BeginDeferWindowPos(static_cast<int>(m_rects.size()) + 1);
    for (const dialog_anchor& anchor : m_anchors) {
        auto found = m_rects.find(anchor.control);
        HWND control = GetDlgItem(m_dialog, anchor.control);
        if (found == m_rects.end() || control == nullptr || batch == nullptr) continue;
        const RECT r = moved_rect(found->second, anchor, dw, dh);
        batch = DeferWindowPos(batch, control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                               SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (m_grip != nullptr && batch != nullptr) {
        const int size = m_grip_rect.right - m_grip_rect.left;
        batch = DeferWindowPos(batch, m_grip, nullptr, width - size, height - size, size, size,
                               SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch != nullptr) EndDeferWindowPos(batch);
}

void dialog_resize_helper::min_max(MINMAXINFO* info) {
    const DWORD style = static_cast<DWORD>(GetWindowLongW(m_dialog, GWL_STYLE));
    const DWORD extended = static_cast<DWORD>(GetWindowLongW(m_dialog, GWL_EXSTYLE));
    auto outer = [&](int width_units, int height_units) {
        RECT rect = {0, 0, width_units, height_units};
        MapDialogRect(m_dialog, &rect);
        AdjustWindowRectEx(&rect, style, FALSE, extended);
        return POINT{rect.right - rect.left, rect.bottom - rect.top};
    };
    if (m_min_width > 0 || m_min_height > 0) {
        const POINT size = outer(m_min_width, m_min_height);
        if (m_min_width > 0) info->ptMinTrackSize.x = size.x;
        if (m_min_height > 0) info->ptMinTrackSize.y = size.y;
    }
    if (m_max_width > 0 || m_max_height > 0) {
        const POINT size = outer(m_max_width, m_max_height);
        if (m_max_width > 0) info->ptMaxTrackSize.x = size.x;
        if (m_max_height > 0) info->ptMaxTrackSize.y = size.y;
    }
}
