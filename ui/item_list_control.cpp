// The item list control's window: measuring, layout, painting, mouse, keys, type-ahead, wheel and scroll bars.
#include "ui/item_list_control.h"

#include <algorithm>

#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/drawing.h"

namespace {

constexpr UINT k_layout_message = WM_USER + 16;
const wchar_t k_reference[] = L"ASDFASDFASDFASDFASDFASDFASDFASDFASDF";

ATOM register_list_class() {
    static ATOM atom = 0;
    if (atom != 0) return atom;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = item_list_control::class_name;
    atom = RegisterClassExW(&wc);
    if (atom == 0) exception_win32::throw_last_error();
    return atom;
}

}  // namespace

item_list_control::~item_list_control() {
    if (m_window != nullptr) DestroyWindow(m_window);
}

HWND item_list_control::create(HWND parent, const RECT& rect, UINT id) {
    register_list_class();
    m_window = CreateWindowExW(0, class_name, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL,
                               rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (m_window == nullptr) exception_win32::throw_last_error();
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
    m_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    reset();
    return m_window;
}

LRESULT CALLBACK item_list_control::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<item_list_control*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    try {
        if (self != nullptr && self->m_window == window) {
            if (message == WM_NCDESTROY) {
                self->m_window = nullptr;
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                return DefWindowProcW(window, message, wparam, lparam);
            }
            return self->handle(message, wparam, lparam);
        }
    } catch (...) {
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

void item_list_control::reset() {
    uint32_t count = m_host->item_count();
    m_single_column = m_host->single_column();
    m_side_panel = m_single_column && m_host->has_side_panel();
    m_selection.reset(count);
    measure();
}

void item_list_control::measure() {
    HDC dc = GetDC(m_window);
    HGDIOBJ previous = SelectObject(dc, m_font);
    SIZE reference = {0, 0};
    GetTextExtentPoint32W(dc, k_reference, static_cast<int>(wcslen(k_reference)), &reference);
    int widest = 0, tallest = reference.cy;
    for (uint32_t row = 0; row < m_selection.count(); ++row) {
        std::wstring text = m_host->item_text(row);
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
        tallest = std::max(tallest, static_cast<int>(size.cy));
    }
    SelectObject(dc, previous);
    ReleaseDC(m_window, dc);
    m_metrics = item_list::measure(tallest, widest, reference.cx);
    m_host->set_icon_size(m_metrics.icon_size, m_metrics.icon_size);
    lay_out();
    InvalidateRect(m_window, nullptr, FALSE);
}

void item_list_control::lay_out() {
    m_layout_pending = false;
    RECT client;
    GetClientRect(m_window, &client);
    m_layout = item_list::lay_out(m_selection.count(), client.right, client.bottom, m_metrics, m_single_column,
                                  m_side_panel, m_layout.scroll_x, m_layout.scroll_y);
    SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS};
    info.nMax = m_layout.content_height;
    info.nPage = static_cast<UINT>(client.bottom + 1);
    info.nPos = m_layout.scroll_y;
    SetScrollInfo(m_window, SB_VERT, &info, TRUE);
    info.nMax = m_layout.content_width;
    info.nPage = static_cast<UINT>(client.right + 1);
    info.nPos = m_layout.scroll_x;
    SetScrollInfo(m_window, SB_HORZ, &info, TRUE);
    InvalidateRect(m_window, nullptr, FALSE);
}

void item_list_control::paint(HDC target, const RECT& area) {
    memory_dc buffer;
    HDC dc = buffer.begin(area, target) ? buffer.dc() : target;
    HBRUSH background = CreateSolidBrush(m_host->color(2));
    FillRect(dc, &area, background);
    DeleteObject(background);
    HGDIOBJ previous_font = SelectObject(dc, m_font);
    POINT origin;
    OffsetWindowOrgEx(dc, m_layout.scroll_x, m_layout.scroll_y, &origin);
    RECT content_area = area;
    OffsetRect(&content_area, m_layout.scroll_x, m_layout.scroll_y);
    RECT meet;
    if (m_layout.side_panel && IntersectRect(&meet, &m_layout.panel, &content_area)) {
        SetBkColor(dc, m_host->color(2));
        SetTextColor(dc, m_host->color(0));
        m_host->draw_side_panel(m_layout.panel, content_area, m_layout.panel_margin, dc);
    }
    SetBkMode(dc, TRANSPARENT);
    for (uint32_t row = 0; row < m_selection.count(); ++row) {
        RECT cell = item_list::cell_rect(m_layout, row);
        if (!IntersectRect(&meet, &cell, &content_area)) continue;
        if (m_selection.is_selected(row)) {
            HBRUSH fill = CreateSolidBrush(m_host->color(3));
            FillRect(dc, &cell, fill);
            DeleteObject(fill);
        }
        if (m_selection.caret_frame() && row == m_selection.caret()) {
            HBRUSH frame = CreateSolidBrush(0x7F7F7F);
            FrameRect(dc, &cell, frame);
            DeleteObject(frame);
        }
        SetTextColor(dc, m_host->color(0));
        RECT text = cell;
        text.left += m_metrics.text_x;
        std::wstring line = m_host->item_text(row);
        DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &text,
                  DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
        HICON icon = m_host->item_icon(row);
        if (icon != nullptr)
            DrawIconEx(dc, cell.left + m_metrics.icon_x, cell.top + m_metrics.icon_y, icon, m_metrics.icon_size,
                       m_metrics.icon_size, 0, nullptr, DI_NORMAL);
    }
    SetWindowOrgEx(dc, origin.x, origin.y, nullptr);
    SelectObject(dc, previous_font);
    if (dc != target) buffer.finish();
}

void item_list_control::after_selection(unsigned changes_before) {
    if (m_selection.changes() != changes_before) m_host->selection_changed();
    InvalidateRect(m_window, nullptr, FALSE);
}

void item_list_control::select_only(uint32_t row) {
    unsigned before = m_selection.changes();
    m_selection.select_only(row);
    if (row < m_selection.count()) ensure_visible(row);
    after_selection(before);
}

void item_list_control::set_selected(uint32_t row, bool selected) {
    m_selection.set(row, selected);
    InvalidateRect(m_window, nullptr, FALSE);
}

void item_list_control::set_caret(uint32_t row) {
    m_selection.set_caret(row);
    InvalidateRect(m_window, nullptr, FALSE);
}

void item_list_control::scroll_to(int x, int y) {
    RECT client;
    GetClientRect(m_window, &client);
    x = std::max(0, std::min(x, m_layout.content_width - static_cast<int>(client.right)));
    y = std::max(0, std::min(y, m_layout.content_height - static_cast<int>(client.bottom)));
    if (x == m_layout.scroll_x && y == m_layout.scroll_y) return;
    ScrollWindow(m_window, m_layout.scroll_x - x, m_layout.scroll_y - y, nullptr, nullptr);
    m_layout.scroll_x = x;
    m_layout.scroll_y = y;
    SetScrollPos(m_window, SB_HORZ, x, TRUE);
    SetScrollPos(m_window, SB_VERT, y, TRUE);
}

void item_list_control::set_scroll(int x, int y) { scroll_to(x, y); }

void item_list_control::ensure_visible(uint32_t row) {
    if (row >= m_selection.count()) return;
    RECT client;
    GetClientRect(m_window, &client);
    RECT cell = item_list::cell_rect(m_layout, row);
    int x = m_layout.scroll_x, y = m_layout.scroll_y;
    if (cell.right > x + client.right) x = cell.right - client.right;
    if (cell.left < x) x = cell.left;
    if (cell.bottom > y + client.bottom) y = cell.bottom - client.bottom;
    if (cell.top < y) y = cell.top;
    scroll_to(x, y);
}

void item_list_control::wheel(int delta, bool horizontal) {
    UINT lines_per_notch = 3;
    SystemParametersInfoW(horizontal ? 0x006C /* SPI_GETWHEELSCROLLCHARS */ : SPI_GETWHEELSCROLLLINES, 0,
                          &lines_per_notch, 0);
    bool page = false;
    int lines = item_list::wheel_lines(horizontal ? m_wheel_rest_h : m_wheel_rest_v, delta,
                                       static_cast<int>(lines_per_notch), page);
    if (lines == 0) return;
    RECT client;
    GetClientRect(m_window, &client);
    bool vertical = !horizontal && m_layout.content_height > client.bottom;
    bool sideways = horizontal || (!vertical && m_layout.content_width > client.right);
    if (vertical) {
        int step = page ? client.bottom : m_metrics.row_height;
        scroll_to(m_layout.scroll_x, m_layout.scroll_y - lines * step);
    } else if (sideways) {
        int step = page ? client.right : m_metrics.row_height;
        int sign = horizontal ? 1 : -1;  // the horizontal wheel's positive sum goes right
        scroll_to(m_layout.scroll_x + sign * lines * step, m_layout.scroll_y);
    }
}

void item_list_control::click(LPARAM lparam, bool right) {
    m_selection.hide_caret_frame();
    SetFocus(m_window);
    POINT at = {static_cast<short>(LOWORD(lparam)) + m_layout.scroll_x,
                static_cast<short>(HIWORD(lparam)) + m_layout.scroll_y};
    bool past_end = false;
    uint32_t row = item_list::hit_test(m_layout, at, true, past_end);
    unsigned before = m_selection.changes();
    if (row == item_list::none) {
        m_selection.select_only(item_list::none);
    } else if (right && m_selection.is_selected(row)) {
        m_selection.set_caret(row);
    } else if (GetKeyState(VK_CONTROL) < 0) {
        if (!past_end) m_selection.set(row, !m_selection.is_selected(row));
        m_selection.set_caret(row);
    } else if (GetKeyState(VK_SHIFT) < 0 && m_selection.caret() != item_list::none && !past_end) {
        m_selection.move_to(row, false, true);
        m_selection.hide_caret_frame();
    } else if (past_end) {
        m_selection.select_only(item_list::none);
    } else {
        m_selection.select_only(row);
    }
    if (row != item_list::none) ensure_visible(row);
    after_selection(before);
}

LRESULT item_list_control::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_window, &ps);
        if (dc != nullptr) paint(dc, ps.rcPaint);
        EndPaint(m_window, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        if ((lparam & PRF_CHECKVISIBLE) && !IsWindowVisible(m_window)) return 0;
        RECT client;
        GetClientRect(m_window, &client);
        paint(reinterpret_cast<HDC>(wparam), client);
        return 0;
    }
    case WM_SETFONT:
        m_font = reinterpret_cast<HFONT>(wparam);
        measure();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_SIZE:
        if (!m_layout_pending) {
            m_layout_pending = true;
            PostMessageW(m_window, k_layout_message, 0, 0);
        }
        return 0;
    case k_layout_message:
        if (m_layout_pending) lay_out();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        m_has_focus = message == WM_SETFOCUS;
        if (!m_has_focus) m_selection.hide_caret_frame();
        InvalidateRect(m_window, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE:
        if (lparam == 0) return DLGC_WANTALLKEYS;
        {
            const MSG* msg = reinterpret_cast<const MSG*>(lparam);
            if (msg->message == WM_CHAR) return DLGC_WANTALLKEYS;
            if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam != VK_TAB &&
                msg->wParam != VK_ESCAPE)
                return DLGC_WANTALLKEYS;
        }
        return DefWindowProcW(m_window, message, wparam, lparam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        if (wparam == VK_RETURN) {
            m_host->activate();
            return 0;
        }
        bool ctrl = GetKeyState(VK_CONTROL) < 0, shift = GetKeyState(VK_SHIFT) < 0;
        unsigned before = m_selection.changes();
        if (!m_selection.key(static_cast<UINT>(wparam), ctrl, shift, m_layout.rows_per_column,
                             m_typeahead.typing(GetTickCount())))
            return DefWindowProcW(m_window, message, wparam, lparam);
        if (wparam != 'A' && m_selection.caret() != item_list::none) ensure_visible(m_selection.caret());
        after_selection(before);
        return 0;
    }
    case WM_CHAR: {
        if (wparam < 32) {
            m_typeahead.clear_time();
            return 0;
        }
        uint32_t found = m_typeahead.type(static_cast<wchar_t>(wparam), GetTickCount(), m_selection.caret(),
                                          m_selection.count(), [this](uint32_t row) { return m_host->item_text(row); });
        if (found != item_list::none) {
            select_only(found);
            m_selection.move_to(found, true, false);  // shows the caret frame, selection unchanged
        } else if (!m_typeahead.text().empty()) {
            MessageBeep(0);
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        click(lparam, message == WM_RBUTTONDOWN);
        return 0;
    case WM_RBUTTONUP:
        return DefWindowProcW(m_window, message, wparam, lparam);
    case WM_LBUTTONDBLCLK: {
        m_selection.hide_caret_frame();
        SetFocus(m_window);
        POINT at = {static_cast<short>(LOWORD(lparam)) + m_layout.scroll_x,
                    static_cast<short>(HIWORD(lparam)) + m_layout.scroll_y};
        bool past_end = false;
        uint32_t row = item_list::hit_test(m_layout, at, false, past_end);
        if (row != item_list::none) {
            select_only(row);
            m_host->activate();
        }
        return 0;
    }
    case WM_MOUSEWHEEL:
        wheel(static_cast<short>(HIWORD(wparam)), false);
        return 0;
    case 0x020E:  // WM_MOUSEHWHEEL
        wheel(static_cast<short>(HIWORD(wparam)), true);
        return 0;
    case WM_VSCROLL:
    case WM_HSCROLL: {
        bool vertical = message == WM_VSCROLL;
        SCROLLINFO info = {sizeof(info), SIF_TRACKPOS};
        GetScrollInfo(m_window, vertical ? SB_VERT : SB_HORZ, &info);
        int pos = vertical ? m_layout.scroll_y : m_layout.scroll_x;
        int line = m_metrics.row_height;
        int page = vertical ? m_metrics.row_height * static_cast<int>(m_layout.rows_per_column) / 2
                            : m_layout.cell_width;
        int end = vertical ? m_layout.content_height - page : m_layout.content_width - m_layout.cell_width;
        switch (LOWORD(wparam)) {
        case SB_LINEUP: pos -= line; break;
        case SB_LINEDOWN: pos += line; break;
        case SB_PAGEUP: pos -= page; break;
        case SB_PAGEDOWN: pos += page; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = end; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = info.nTrackPos; break;
        default: return 0;
        }
        if (vertical)
            scroll_to(m_layout.scroll_x, pos);
        else
            scroll_to(pos, m_layout.scroll_y);
        return 0;
    }
    default:
        return DefWindowProcW(m_window, message, wparam, lparam);
    }
}
