// The item list's measuring, layout, hit tests, selection rules, type-ahead, wheel and autoscroll steps.
#include "ui/item_list_logic.h"

#include <algorithm>
#include <cmath>

namespace item_list {

metrics measure(int a, int widest, int reference_width) {
    metrics m;
    m.gap = a / 8;
    m.icon_x = m.icon_y = m.gap;
    m.icon_size = a;
    m.text_x = a + 2 * m.gap;
    m.column_width = a + widest + 3 * m.gap;
    m.row_height = a + 2 * m.gap;
    m.reference_width = reference_width;
    return m;
}

layout lay_out(uint32_t count, int width, int height, const metrics& m, bool single_column, bool side_panel,
               int scroll_x, int scroll_y) {
    layout l;
    l.count = count;
    l.side_panel = single_column && side_panel;
    int row_height = m.row_height > 0 ? m.row_height : 1;
    l.cell_height = row_height;
    if (single_column || static_cast<int64_t>(height) >= static_cast<int64_t>(row_height) * count) {
        l.rows_per_column = count > 0 ? count : 1;
        l.cell_width = m.column_width;
        l.content_width = m.column_width;
        int64_t total = static_cast<int64_t>(row_height) * count;
        l.content_height = total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
        if (l.side_panel) l.content_width = std::min(m.column_width, width / 2);
    } else {
        int per_column = height / row_height;
        l.rows_per_column = per_column < 1 ? 1 : static_cast<uint32_t>(per_column);
        l.cell_width = std::min(m.column_width, m.reference_width);
        l.content_height = height;
        uint32_t columns = (count + l.rows_per_column - 1) / l.rows_per_column;
        int64_t total = static_cast<int64_t>(columns) * l.cell_width;
        l.content_width = total > INT32_MAX ? INT32_MAX : static_cast<int>(total);
    }
    l.scroll_x = std::max(0, std::min(scroll_x, l.content_width - width));
    l.scroll_y = std::max(0, std::min(scroll_y, l.content_height - height));
    if (l.side_panel) {
        int x0 = width / 2;
        int side = std::max(0, std::min(height, width - x0));
        l.panel = {x0, 0, width, side};
        l.panel_margin = std::min(row_height, side / 4);
        l.cell_width = std::min(l.cell_width, x0);
    }
    return l;
}

RECT cell_rect(const layout& l, uint32_t row) {
    uint32_t per = l.rows_per_column ? l.rows_per_column : 1;
    int left = static_cast<int>(row / per) * l.cell_width;
    int top = static_cast<int>(row % per) * l.cell_height;
    return {left, top, left + l.cell_width, top + l.cell_height};
}

uint32_t hit_test(const layout& l, POINT at, bool clamp, bool& past_end) {
    past_end = false;
    if (l.count == 0 || l.cell_width <= 0 || l.cell_height <= 0 || at.x < 0 || at.y < 0) return none;
    uint32_t per = l.rows_per_column ? l.rows_per_column : 1;
    uint32_t column = static_cast<uint32_t>(at.x / l.cell_width);
    uint32_t line = static_cast<uint32_t>(at.y / l.cell_height);
    uint32_t columns = (l.count + per - 1) / per;
    if (column >= columns) return none;
    if (line >= per) {
        if (!clamp) return none;
        line = per - 1;
        past_end = true;
    }
    uint64_t row = static_cast<uint64_t>(column) * per + line;
    if (row >= l.count) {
        if (!clamp) return none;
        past_end = true;
        return l.count - 1;
    }
    return static_cast<uint32_t>(row);
}

bool value_range::contains(uint32_t row) const {
    if (!active()) return false;
    uint32_t lo = std::min(low, high), hi = std::max(low, high);
    if (row < lo || row > hi) return false;
    if (row == low && !low_inclusive) return false;
    if (row == high && !high_inclusive) return false;
    return true;
}

bool value_range::set_high(uint32_t value, bool inclusive) {
    if (value == high && inclusive == high_inclusive) return false;
    high = value;
    high_inclusive = inclusive;
    return true;
}

void selection::reset(uint32_t count) {
    m_selected.assign(count, 0);
    m_caret = none;
    m_anchor = none;
    m_caret_frame = false;
    m_drag = value_range();
    m_changed_low = none;
    m_changed_high = 0;
}

void selection::write(uint32_t row, uint8_t value, bool& changed) {
    if (row >= count() || m_selected[row] == value) return;
    m_selected[row] = value;
    changed = true;
    if (m_changed_low == none || row < m_changed_low) m_changed_low = row;
    if (row > m_changed_high) m_changed_high = row;
}

bool selection::take_changed_span(uint32_t& low, uint32_t& high) {
    if (m_changed_low == none) return false;
    low = m_changed_low;
    high = m_changed_high;
    m_changed_low = none;
    m_changed_high = 0;
    return true;
}

void selection::set_rows(const std::vector<uint32_t>& rows, bool value) {
    bool changed = false;
    for (uint32_t row : rows) write(row, value ? 1 : 0, changed);
    if (changed) ++m_changes;
}

void selection::apply(const value_range& before, const value_range& after, bool& changed) {
    // Only rows between the outermost ends of the two ranges can change membership.
    uint32_t lo = none, hi = 0;
    for (const value_range* r : {&before, &after}) {
        if (!r->active()) continue;
        lo = std::min(lo, std::min(r->low, r->high));
        hi = std::max(hi, std::max(r->low, r->high));
    }
    if (lo == none || count() == 0) return;
    hi = std::min(hi, count() - 1);
    for (uint32_t row = lo; row <= hi && row != none; ++row) {
        bool was = before.contains(row), is = after.contains(row);
        if (was == is) continue;
        if (after.toggle)
            write(row, m_selected[row] ? 0 : 1, changed);
        else
            write(row, is ? 1 : 0, changed);
    }
}

bool selection::press(uint32_t row, bool past_end, bool ctrl, bool shift, bool right) {
    uint32_t n = count();
    m_drag = value_range();
    if (row >= n) {
        select_only(none);
        return false;
    }
    if (right && !past_end && is_selected(row)) {
        m_caret = row;  // the selection stays for the context menu
        return false;
    }
    bool changed = false;
    if (!ctrl)
        for (uint32_t i = 0; i < n; ++i) write(i, 0, changed);
    value_range range;
    range.toggle = ctrl;
    uint32_t end = past_end ? row + 1 : row;  // past the end: the position after the row, excluded
    if (shift) {
        if (m_anchor >= n) m_anchor = m_caret < n ? m_caret : row;
        range.low = m_anchor;
        range.low_inclusive = true;
    } else {
        range.low = end;
        range.low_inclusive = !past_end;
        m_anchor = none;
    }
    range.high = end;
    range.high_inclusive = !past_end;
    apply(value_range(), range, changed);
    m_drag = range;
    m_caret = past_end ? none : row;
    if (changed) ++m_changes;
    return true;
}

void selection::drag_to(uint32_t row, bool past_end) {
    if (!m_drag.active() || row >= count()) return;
    if (!past_end) m_caret = row;
    value_range moved = m_drag;
    if (!moved.set_high(past_end ? row + 1 : row, !past_end)) return;
    bool changed = false;
    apply(m_drag, moved, changed);
    m_drag = moved;
    if (changed) ++m_changes;
}

void selection::set(uint32_t row, bool value) {
    bool changed = false;
    write(row, value ? 1 : 0, changed);
    if (changed) ++m_changes;
}

void selection::select_only(uint32_t row) {
    bool changed = false;
    for (uint32_t i = 0; i < count(); ++i) write(i, i == row ? 1 : 0, changed);
    if (changed) ++m_changes;
    set_caret(row);
}

void selection::select_all() {
    bool changed = false;
    for (uint32_t i = 0; i < count(); ++i) write(i, 1, changed);
    if (changed) ++m_changes;
}

void selection::move_to(uint32_t t, bool ctrl, bool shift) {
    if (t >= count()) return;
    if (!ctrl && !shift) {
        select_only(t);
        m_anchor = none;
    } else if (shift && !ctrl) {
        if (m_anchor >= count()) m_anchor = m_caret < count() ? m_caret : t;
        uint32_t low = std::min(m_anchor, t), high = std::max(m_anchor, t);
        bool changed = false;
        for (uint32_t i = 0; i < count(); ++i) write(i, i >= low && i <= high ? 1 : 0, changed);
        if (changed) ++m_changes;
    }
    m_caret = t;
    m_caret_frame = true;
}

bool selection::key(UINT vk, bool ctrl, bool shift, uint32_t rows_per_column, bool typing) {
    uint32_t n = count();
    int64_t from = m_caret < n ? static_cast<int64_t>(m_caret) : -1;
    int64_t target;
    switch (vk) {
    case VK_HOME: target = 0; break;
    case VK_END: target = static_cast<int64_t>(n) - 1; break;
    case VK_UP: target = from < 0 ? 0 : from - 1; break;
    case VK_DOWN: target = from < 0 ? 0 : from + 1; break;
    case VK_LEFT: target = from < 0 ? 0 : from - static_cast<int64_t>(rows_per_column); break;
    case VK_RIGHT: target = from < 0 ? 0 : from + static_cast<int64_t>(rows_per_column); break;
    case VK_SPACE:
        if (!typing && m_caret < n) {
            set(m_caret, !is_selected(m_caret));
            m_caret_frame = true;
        }
        return true;
    case 'A':
        if (!ctrl || shift) return false;
        select_all();
        return true;
    default:
        return false;
    }
    if (n == 0) return true;  // nothing to move to
    if (target < 0) target = 0;
    if (target > static_cast<int64_t>(n) - 1) target = n - 1;
    move_to(static_cast<uint32_t>(target), ctrl, shift);
    return true;
}

std::wstring typeahead::lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool typeahead::starts_with(const std::wstring& text, const std::wstring& part) {
    return text.compare(0, part.size(), part) == 0 && text.size() >= part.size();
}

bool typeahead::contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

int wheel_lines(int& rest, int delta, int lines_per_notch, bool& page) {
    page = false;
    if (lines_per_notch == -1) {
        rest = 0;
        page = true;
        return delta > 0 ? 1 : delta < 0 ? -1 : 0;
    }
    int n = lines_per_notch < 1 ? 1 : lines_per_notch;
    int step = 120 / n;
    if (step < 1) step = 1;
    rest += delta;
    int lines = rest / step;  // whole lines only; the part of a line stays in the sum
    rest -= lines * step;
    return lines;
}

bool tip_placement(const layout& l, const metrics& m, uint32_t row, int text_extent, POINT at, int width,
                   int height, RECT& tip) {
    if (row >= l.count) return false;
    RECT cell = cell_rect(l, row);
    OffsetRect(&cell, -l.scroll_x, -l.scroll_y);
    int text_width = m.text_x + text_extent;
    RECT text = {cell.left, cell.top, cell.left + text_width, cell.bottom};
    if (!PtInRect(&text, at)) return false;
    bool cut = text_width > l.cell_width || text.right > width || text.top < 0 || text.bottom > height;
    if (!cut) return false;
    tip = cell;
    tip.left = cell.left + m.text_x - 2 * m.gap;
    return true;
}

POINT autoscroll_step(int dx, int dy, int dpi, double& rest_x, double& rest_y) {
    POINT out = {0, 0};
    if (dpi < 1 || (dx == 0 && dy == 0)) return out;
    double x96 = dx * 96.0 / dpi, y96 = dy * 96.0 / dpi;
    double distance = std::sqrt(x96 * x96 + y96 * y96);
    double speed = (0.6 * 0.05 * distance) * (0.6 * 0.05 * distance);
    double vx = speed * x96 / distance * dpi / 96.0 + rest_x;
    double vy = speed * y96 / distance * dpi / 96.0 + rest_y;
    out.x = static_cast<LONG>(std::floor(vx + 0.5));
    out.y = static_cast<LONG>(std::floor(vy + 0.5));
    rest_x = vx - out.x;
    rest_y = vy - out.y;
    return out;
}

}  // namespace item_list
