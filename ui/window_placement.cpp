#include "ui/window_placement.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/drawing.h"

namespace {

uint32_t screen_dpi() {
    HDC dc = GetDC(nullptr);
    if (!dc) return 0;
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<uint32_t>(dpi) : 0;
}

bool client_rect_on_screen(HWND window, RECT& out) {
    if (!GetClientRect(window, &out)) return false;
    POINT corners[2] = {{out.left, out.top}, {out.right, out.bottom}};
    SetLastError(0);
    if (!MapWindowPoints(window, nullptr, corners, 2) && GetLastError() != 0) return false;
    out = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    return true;
}

bool parent_rect(HWND parent, RECT& out) {
    if (IsIconic(parent)) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof(placement);
        if (!GetWindowPlacement(parent, &placement)) return false;
        out = placement.rcNormalPosition;
        return true;
    }
    return GetWindowRect(parent, &out) != 0;
}

struct cascade_search {
    POINT corner;
    HWND self;
    bool found;
};

BOOL CALLBACK find_same_corner(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<cascade_search*>(data);
    if (window == search->self || !IsWindowVisible(window)) return TRUE;
    RECT rect;
    if (GetWindowRect(window, &rect) && rect.left == search->corner.x && rect.top == search->corner.y) {
        search->found = true;
        return FALSE;
    }
    return TRUE;
}

void read_u32(byte_source& source, uint32_t& out, const abort_signal& abort) {
    unsigned char bytes[4];
    source.read_exact(bytes, 4, abort);
    out = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void write_u32(byte_sink& sink, uint32_t value, const abort_signal& abort) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    sink.write(bytes, 4, abort);
}

}  // namespace

void window_placement_var::set_data(byte_source& source, uint32_t size, const abort_signal& abort) {
    window_placement_values values;
    uint32_t word;
    read_u32(source, word, abort);
    values.width = static_cast<int32_t>(word);
    read_u32(source, word, abort);
    values.height = static_cast<int32_t>(word);
    if (size >= 24) {
        read_u32(source, word, abort);
        values.x = static_cast<int32_t>(word);
        read_u32(source, word, abort);
        values.y = static_cast<int32_t>(word);
        read_u32(source, values.dpi_x, abort);
        read_u32(source, values.dpi_y, abort);
    }
    m_values = values;
}

void window_placement_var::get_data(byte_sink& sink, const abort_signal& abort) {
    for (HWND window : m_windows)
        if (IsWindow(window)) {
            take(window);
            break;
        }
    write_u32(sink, static_cast<uint32_t>(m_values.width), abort);
    write_u32(sink, static_cast<uint32_t>(m_values.height), abort);
    write_u32(sink, static_cast<uint32_t>(m_values.x), abort);
    write_u32(sink, static_cast<uint32_t>(m_values.y), abort);
    write_u32(sink, m_values.dpi_x, abort);
    write_u32(sink, m_values.dpi_y, abort);
}

void window_placement_var::take(HWND window) {
    RECT client;
    if (!client_rect_on_screen(window, client) || client.right <= client.left || client.bottom <= client.top) return;
    window_placement_values values;
    values.dpi_x = values.dpi_y = screen_dpi();
    values.width = client.right - client.left;
    values.height = client.bottom - client.top;
    HWND parent = GetParent(window);
    RECT parent_area;
    if (parent && parent_rect(parent, parent_area)) {
        values.x = client.left - parent_area.left;
        values.y = client.top - parent_area.top;
    }
    m_values = values;
}

bool window_placement_var::compute_rect(HWND window, uint32_t dpi, RECT& out, UINT& flags) {
    if (dpi) {
        if (m_values.dpi_x && m_values.dpi_x != dpi) {
            if (m_values.width >= 0) m_values.width = MulDiv(m_values.width, dpi, m_values.dpi_x);
            if (m_values.x != window_placement_values::unset_position) m_values.x = MulDiv(m_values.x, dpi, m_values.dpi_x);
        }
        if (m_values.dpi_y && m_values.dpi_y != dpi) {
            if (m_values.height >= 0) m_values.height = MulDiv(m_values.height, dpi, m_values.dpi_y);
            if (m_values.y != window_placement_values::unset_position) m_values.y = MulDiv(m_values.y, dpi, m_values.dpi_y);
        }
        m_values.dpi_x = m_values.dpi_y = dpi;
    }
    RECT rect;
    if (!client_rect_on_screen(window, rect)) return false;
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const LONG ex_style = GetWindowLongW(window, GWL_EXSTYLE);
    flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (m_values.width >= 0 && m_values.height >= 0 && (style & WS_THICKFRAME)) {
        rect.right = rect.left + m_values.width;
        rect.bottom = rect.top + m_values.height;
        flags = SWP_NOZORDER | SWP_NOACTIVATE;
    }
    HWND parent = GetParent(window);
    RECT parent_area;
    const bool has_parent = parent && parent_rect(parent, parent_area);
    if (has_parent) {
        const LONG w = rect.right - rect.left, h = rect.bottom - rect.top;
        if (m_values.x == window_placement_values::unset_position || m_values.y == window_placement_values::unset_position) {
            rect.left = parent_area.left + (parent_area.right - parent_area.left - w) / 2;
            rect.top = parent_area.top + (parent_area.bottom - parent_area.top - h) / 2;
        } else {
            rect.left = parent_area.left + m_values.x;
            rect.top = parent_area.top + m_values.y;
        }
        rect.right = rect.left + w;
        rect.bottom = rect.top + h;
    }
    const bool menu = (style & WS_POPUP) && GetMenu(window);
    AdjustWindowRectEx(&rect, static_cast<DWORD>(style), menu, static_cast<DWORD>(ex_style));
    const int step = std::max(1, GetSystemMetrics(SM_CYCAPTION));
    for (int guard = 0; guard < 100; ++guard) {
        cascade_search search = {{rect.left, rect.top}, window, false};
        EnumThreadWindows(GetCurrentThreadId(), find_same_corner, reinterpret_cast<LPARAM>(&search));
        if (!search.found) break;
        OffsetRect(&rect, step, step);
    }
    RECT work = {0, 0, 1, 1};
    if (has_parent) {
        HMONITOR monitor = MonitorFromRect(&parent_area, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (monitor && GetMonitorInfoW(monitor, &info)) work = info.rcWork;
    }
    if (rect.right > work.right) OffsetRect(&rect, work.right - rect.right, 0);
    if (rect.bottom > work.bottom) OffsetRect(&rect, 0, work.bottom - rect.bottom);
    if (rect.left < work.left) OffsetRect(&rect, work.left - rect.left, 0);
    if (rect.top < work.top) OffsetRect(&rect, 0, work.top - rect.top);
    out = rect;
    return true;
}

void window_placement_var::restore(HWND window) {
    RECT rect;
    UINT flags;
    if (!compute_rect(window, screen_dpi(), rect, flags)) return;
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, flags);
}

LRESULT window_placement_var::on_window_message(HWND window, UINT message, window_placement_attachment& attachment) {
    if (message == WM_CREATE || message == WM_INITDIALOG) {
        if (attachment.window) forget_window(attachment.window);
        attachment.variable = this;
        attachment.window = window;
        for (HWND other : m_windows)
            if (other != window && IsWindow(other)) {
                take(other);
                break;
            }
        m_windows.insert(window);
        restore(window);
    } else if (message == WM_DESTROY) {
        if (attachment.window) forget_window(attachment.window);
        attachment.window = nullptr;
    }
    return 0;
}

void window_placement_var::forget_window(HWND window) {
    auto found = m_windows.find(window);
    if (found == m_windows.end()) return;
    take(window);
    m_windows.erase(found);
}

void window_placement_var::detach(window_placement_attachment& attachment) {
    if (attachment.window) forget_window(attachment.window);
    attachment.window = nullptr;
    attachment.variable = nullptr;
}

tracking_tooltip::~tracking_tooltip() {
    if (m_window) DestroyWindow(m_window);
}

void tracking_tooltip::show_below(const char* text, HWND control) {
    if (!m_enabled || (!text && !m_window)) return;
    if (!m_window) {
        m_window = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, control, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
        if (!m_window) exception_win32::throw_last_error();
    }
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // 48 bytes in the 32-bit program; the 64-bit layout is larger
    tool.uFlags = TTF_IDISHWND | TTF_CENTERTIP | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
    tool.hwnd = control;
    tool.uId = 0;
    tool.hinst = GetModuleHandleW(nullptr);
    if (SendMessageW(m_window, TTM_GETTOOLCOUNT, 0, 0) > 0) {
        SendMessageW(m_window, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(m_window, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    if (!text) return;
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], length);
    tool.lpszText = &wide[0];
    if (!SendMessageW(m_window, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) return;
    RECT rect;
    GetWindowRect(control, &rect);
    SendMessageW(m_window, TTM_TRACKPOSITION, 0, MAKELPARAM((rect.left + rect.right) / 2, rect.bottom));
    SendMessageW(m_window, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

HWND create_child_window(const wchar_t* window_class, HWND parent, const RECT* rect, DWORD style, DWORD extended_style,
                         int id) {
    return CreateWindowExW(extended_style, window_class, nullptr, style, rect ? rect->left : CW_USEDEFAULT,
                           rect ? rect->top : CW_USEDEFAULT, rect ? rect->right - rect->left : CW_USEDEFAULT,
                           rect ? rect->bottom - rect->top : CW_USEDEFAULT, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

HFONT create_enlarged_font(HFONT font) {
    return create_scaled_bold_font(font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), 1.3);
}

HFONT create_enlarged_font(HWND window) {
    return create_enlarged_font(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
}

registered_operation::~registered_operation() { set_running(false); }

void registered_operation::set_running(bool running) {
    if (running == m_running) return;
    m_running = running;
    if (running)
        running_operation_registry::instance().register_operation(this);
    else
        running_operation_registry::instance().unregister_operation(this);
}
