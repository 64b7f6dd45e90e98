// The item list control's window: measuring, layout, painting, mouse, drags, keys, type-ahead, wheel and
// scroll bars.
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

bool key_down(int vk) { return GetKeyState(vk) < 0; }

}  // namespace

item_list_control::~item_list_control() {
    if (m_window != nullptr) DestroyWindow(m_window);
    destroy_tip();
    if (m_marker != nullptr) DestroyWindow(m_marker);
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
    m_theme.open(m_window);
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
    if (m_selection.dragging()) end_drag();
    hide_tip();
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
    item_list::layout old = m_layout;
    m_layout = item_list::lay_out(m_selection.count(), client.right, client.bottom, m_metrics, m_single_column,
                                  m_side_panel, m_layout.scroll_x, m_layout.scroll_y);
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = m_layout.content_height;
    info.nPage = static_cast<UINT>(client.bottom + 1);
    info.nPos = m_layout.scroll_y;
    SetScrollInfo(m_window, SB_VERT, &info, TRUE);
    info.nMax = m_layout.content_width;
    info.nPage = static_cast<UINT>(client.right + 1);
    info.nPos = m_layout.scroll_x;
    SetScrollInfo(m_window, SB_HORZ, &info, TRUE);
    if (m_layout.side_panel || old.content_width != m_layout.content_width ||
        old.content_height != m_layout.content_height || old.scroll_x != m_layout.scroll_x ||
        old.scroll_y != m_layout.scroll_y || old.cell_width != m_layout.cell_width ||
        old.rows_per_column != m_layout.rows_per_column)
        InvalidateRect(m_window, nullptr, FALSE);
    hide_tip();
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
    const uint32_t count = m_selection.count();
    if (count > 0 && m_layout.cell_width > 0 && m_layout.cell_height > 0 && content_area.right > 0 &&
        content_area.bottom > 0) {
        // Only the columns and lines the paint area meets are visited.
        const uint32_t per = m_layout.rows_per_column;
        const uint32_t first_column = static_cast<uint32_t>(std::max(0L, content_area.left) / m_layout.cell_width);
        const uint32_t last_column = static_cast<uint32_t>((content_area.right - 1) / m_layout.cell_width);
        const uint32_t first_line = static_cast<uint32_t>(std::max(0L, content_area.top) / m_layout.cell_height);
        const uint32_t last_line = std::min<uint32_t>(
            per - 1, static_cast<uint32_t>((content_area.bottom - 1) / m_layout.cell_height));
        HBRUSH fill = nullptr;
        for (uint32_t column = first_column; column <= last_column; ++column) {
            if (static_cast<uint64_t>(column) * per >= count) break;
            for (uint32_t line = first_line; line <= last_line; ++line) {
                uint64_t at = static_cast<uint64_t>(column) * per + line;
                if (at >= count) break;
                const uint32_t row = static_cast<uint32_t>(at);
                RECT cell = item_list::cell_rect(m_layout, row);
                if (m_selection.is_selected(row) && !m_theme.draw_selected(dc, cell, &content_area, m_has_focus)) {
                    if (fill == nullptr) fill = CreateSolidBrush(m_host->color(3));
                    FillRect(dc, &cell, fill);
                }
                if (m_selection.caret_frame() && row == m_selection.caret()) {
                    HBRUSH frame = CreateSolidBrush(0x7F7F7F);
                    FrameRect(dc, &cell, frame);
                    DeleteObject(frame);
                }
                SetTextColor(dc, m_host->color(0));
                RECT text = cell;
                text.left += m_metrics.text_x;
                std::wstring line_text = m_host->item_text(row);
                DrawTextW(dc, line_text.c_str(), static_cast<int>(line_text.size()), &text,
                          DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
                HICON icon = m_host->item_icon(row);
                if (icon != nullptr)
                    DrawIconEx(dc, cell.left + m_metrics.icon_x, cell.top + m_metrics.icon_y, icon,
                               m_metrics.icon_size, m_metrics.icon_size, 0, nullptr, DI_NORMAL);
            }
        }
        if (fill != nullptr) DeleteObject(fill);
    }
    SetWindowOrgEx(dc, origin.x, origin.y, nullptr);
    SelectObject(dc, previous_font);
    if (dc != target) buffer.finish();
}

void item_list_control::invalidate_rows(uint32_t low, uint32_t high) {
    if (low >= m_selection.count() || m_layout.cell_width <= 0) return;
    high = std::min(high, m_selection.count() - 1);
    const uint32_t per = m_layout.rows_per_column;
    RECT first = item_list::cell_rect(m_layout, low), last = item_list::cell_rect(m_layout, high);
    RECT area;
    if (low / per == high / per)
        area = {first.left, first.top, first.right, last.bottom};
    else  // several columns: their whole height
        area = {first.left, 0, last.right, static_cast<LONG>(per) * m_layout.cell_height};
    OffsetRect(&area, -m_layout.scroll_x, -m_layout.scroll_y);
    RECT client, visible;
    GetClientRect(m_window, &client);
    if (IntersectRect(&visible, &area, &client)) InvalidateRect(m_window, &visible, FALSE);
}

void item_list_control::after(const snapshot& was) {
    uint32_t low = 0, high = 0;
    if (m_selection.take_changed_span(low, high)) invalidate_rows(low, high);
    if (was.caret != m_selection.caret() || was.frame != m_selection.caret_frame()) {
        if (was.frame) invalidate_rows(was.caret, was.caret);
        if (m_selection.caret_frame()) invalidate_rows(m_selection.caret(), m_selection.caret());
    }
    if (m_selection.changes() != was.changes) m_host->selection_changed();
}

void item_list_control::set_selection(const std::vector<uint32_t>& rows, bool value) {
    snapshot was = before();
    m_selection.set_rows(rows, value);
    after(was);
}

void item_list_control::select_only(uint32_t row) {
    snapshot was = before();
    m_selection.select_only(row);
    if (row < m_selection.count()) ensure_visible(row);
    after(was);
}

void item_list_control::set_caret(uint32_t row) {
    snapshot was = before();
    m_selection.set_caret(row);
    after(was);
}

bool item_list_control::focused_row_point(POINT& out) {
    uint32_t caret = m_selection.caret();
    if (caret >= m_selection.count()) return false;
    ensure_visible(caret);
    RECT cell = item_list::cell_rect(m_layout, caret);
    OffsetRect(&cell, -m_layout.scroll_x, -m_layout.scroll_y);
    RECT client, visible;
    GetClientRect(m_window, &client);
    if (!IntersectRect(&visible, &cell, &client)) visible = cell;  // a client smaller than nothing
    out.x = (visible.left + visible.right) / 2;
    out.y = (visible.top + visible.bottom) / 2;
    ClientToScreen(m_window, &out);
    return true;
}

void item_list_control::set_selected(uint32_t row, bool selected) {
    m_selection.set(row, selected);
    InvalidateRect(m_window, nullptr, FALSE);
}

void item_list_control::scroll_to(int x, int y) {
    RECT client;
    GetClientRect(m_window, &client);
    x = std::max(0, std::min(x, m_layout.content_width - static_cast<int>(client.right)));
    y = std::max(0, std::min(y, m_layout.content_height - static_cast<int>(client.bottom)));
    if (x == m_layout.scroll_x && y == m_layout.scroll_y) return;
    hide_tip();
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

POINT item_list_control::content_point(LPARAM lparam) const {
    return POINT{static_cast<short>(LOWORD(lparam)) + m_layout.scroll_x,
                 static_cast<short>(HIWORD(lparam)) + m_layout.scroll_y};
}

void item_list_control::press(LPARAM lparam, bool right) {
    snapshot was = before();
    m_selection.hide_caret_frame();
    SetFocus(m_window);
    if (m_selection.dragging()) {  // a second button during a drag only ends it
        end_drag();
        after(was);
        return;
    }
    bool past_end = false;
    uint32_t row = item_list::hit_test(m_layout, content_point(lparam), true, past_end);
    bool dragging = m_selection.press(row, past_end, key_down(VK_CONTROL), key_down(VK_SHIFT), right);
    if (row != item_list::none) ensure_visible(row);
    after(was);
    if (dragging) SetCapture(m_window);
}

void item_list_control::drag(LPARAM lparam) {
    bool past_end = false;
    uint32_t row = item_list::hit_test(m_layout, content_point(lparam), true, past_end);
    if (row == item_list::none) return;
    snapshot was = before();
    m_selection.drag_to(row, past_end);
    after(was);
}

void item_list_control::end_drag() {
    m_selection.end_drag();
    if (GetCapture() == m_window) ReleaseCapture();
}

LRESULT item_list_control::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    if (autoscroll_message(message, wparam, lparam)) return 0;
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_window, &ps);
        if (dc != nullptr) paint(dc, ps.rcPaint);
        EndPaint(m_window, &ps);
        if (m_after_paint != nullptr) m_after_paint(m_after_paint_context);
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
        if (m_tip_window != nullptr) SendMessageW(m_tip_window, WM_SETFONT, wparam, FALSE);
        measure();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_THEMECHANGED:
        m_theme.reopen(m_window);
        InvalidateRect(m_window, nullptr, FALSE);
        return 0;
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
        snapshot was = before();
        if (!m_selection.key(static_cast<UINT>(wparam), key_down(VK_CONTROL), key_down(VK_SHIFT),
                             m_layout.rows_per_column, m_typeahead.typing(GetTickCount())))
            return DefWindowProcW(m_window, message, wparam, lparam);
        if (wparam != 'A' && m_selection.caret() != item_list::none) ensure_visible(m_selection.caret());
        after(was);
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
            snapshot was = before();
            m_selection.select_only(found);
            m_selection.move_to(found, true, false);  // shows the caret frame, selection unchanged
            ensure_visible(found);
            after(was);
        } else if (!m_typeahead.text().empty()) {
            MessageBeep(0);
        }
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        press(lparam, message == WM_RBUTTONDOWN);
        return 0;
    case WM_MOUSEMOVE: {
        POINT screen = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
        ClientToScreen(m_window, &screen);
        check_tip(screen);
        TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER, m_window, HOVER_DEFAULT};
        TrackMouseEvent(&track);
        if (m_selection.dragging()) drag(lparam);
        return 0;
    }
    case WM_MOUSEHOVER:
        hover(wparam, lparam);
        return 0;
    case WM_LBUTTONUP:
        if (m_selection.dragging()) end_drag();
        return 0;
    case WM_RBUTTONUP:
        if (m_selection.dragging()) end_drag();
        return DefWindowProcW(m_window, message, wparam, lparam);
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lparam) != m_window) m_selection.end_drag();
        return 0;
    case WM_LBUTTONDBLCLK: {
        m_selection.hide_caret_frame();
        SetFocus(m_window);
        bool past_end = false;
        uint32_t row = item_list::hit_test(m_layout, content_point(lparam), false, past_end);
        if (row != item_list::none) {
            select_only(row);
            m_host->activate();
        }
        return 0;
    }
    case WM_RBUTTONDBLCLK:
        m_selection.hide_caret_frame();
        SetFocus(m_window);
        return 0;
    case WM_MOUSEWHEEL:
        wheel(static_cast<short>(HIWORD(wparam)), false);
        return 0;
    case 0x020E:  // WM_MOUSEHWHEEL
        wheel(static_cast<short>(HIWORD(wparam)), true);
        return 0;
    case WM_TIMER:
        if (wparam == tip_timer) {
            DWORD at = GetMessagePos();
            check_tip(POINT{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))});
            return 0;
        }
        return DefWindowProcW(m_window, message, wparam, lparam);
    case WM_VSCROLL:
    case WM_HSCROLL: {
        bool vertical = message == WM_VSCROLL;
        SCROLLINFO info = {};
        info.cbSize = sizeof(info);
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(m_window, vertical ? SB_VERT : SB_HORZ, &info);
        int pos = vertical ? m_layout.scroll_y : m_layout.scroll_x;
        int line = m_metrics.row_height;
        // A vertical page is half the rows of a column that the client shows (in one long column that is
        // half the client, not half the list).
        RECT client;
        GetClientRect(m_window, &client);
        int shown = std::max(1, static_cast<int>(client.bottom) / std::max(1, m_metrics.row_height));
        int page = vertical ? m_metrics.row_height * std::min(static_cast<int>(m_layout.rows_per_column), shown) / 2
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
    case WM_DESTROY:
        destroy_tip();
        if (m_marker != nullptr) {
            DestroyWindow(m_marker);
            m_marker = nullptr;
        }
        m_theme.close();
        return 0;
    default:
        return DefWindowProcW(m_window, message, wparam, lparam);
    }
}
