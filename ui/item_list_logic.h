#pragma once
// The item list's arithmetic and selection rules, apart from its window: measuring, column layout and hit
// tests, the selection with caret and anchor, mouse drag ranges, the navigation keys, type-ahead, wheel steps,
// the in-place tip's placement and the middle-button autoscroll speed. Every routine copes with an empty list and with no caret (nothing is written outside the
// rows, nothing divides by zero, no search loops).
//
//     item_list::metrics m = item_list::measure(16, 120, 300);      // text height 16, widest text 120
//     item_list::layout l = item_list::lay_out(rows, width, height, m, false, false, 0, 0);
//     RECT cell = item_list::cell_rect(l, 7);                          // content coordinates
//
//     item_list::selection sel;                                       // the rows' selection bytes
//     sel.reset(rows);
//     sel.key(VK_DOWN, false, true, l.rows_per_column);                // Shift+Down
//
//     sel.press(4, false, false, false, false);    // left button down on row 4: only row 4, a drag starts
//     sel.drag_to(6, false);                       // rows 4..6 selected, caret 6
//     sel.drag_to(5, false);                       // row 6 left the range: unselected again
//     sel.end_drag();                              // button up: rows 4 and 5 stay selected
//
// Main thread only.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace item_list {

constexpr uint32_t none = 0xFFFFFFFFu;

struct metrics {
    int gap = 0;             // text height / 8
    int icon_x = 0, icon_y = 0, icon_size = 0, text_x = 0;
    int column_width = 0;    // icon + widest text + 3 gaps
    int row_height = 0;      // icon + 2 gaps
    int reference_width = 0; // width of the 36-character reference text
};

// a: the largest text height; widest: the largest text width.
metrics measure(int a, int widest, int reference_width);

struct layout {
    uint32_t count = 0;
    uint32_t rows_per_column = 1;  // never 0
    int cell_width = 0, cell_height = 0;
    int content_width = 0, content_height = 0;
    int scroll_x = 0, scroll_y = 0;
    bool side_panel = false;
    RECT panel = {0, 0, 0, 0};     // content coordinates
    int panel_margin = 0;
};

// Lays `count` rows out in a client of width x height: one column when single_column is set or all rows fit,
// else columns of height / row_height rows (at least 1), each at most reference_width wide; the scroll
// position is kept within the content.
layout lay_out(uint32_t count, int width, int height, const metrics& m, bool single_column, bool side_panel,
               int scroll_x, int scroll_y);
// The row's cell in content coordinates.
RECT cell_rect(const layout& l, uint32_t row);
// The row under a content point, or none. With clamp, a point below the last row of its column or beyond the
// last row counts as past that row: `past_end` is set and the clamped row is answered.
uint32_t hit_test(const layout& l, POINT at, bool clamp, bool& past_end);

// The rows a mouse drag covers: every row between low and high in either order, each end included or not by
// its flag; low == none: no drag. toggle: rows entering or leaving the range flip their selection instead of
// being set to their membership (a drag begun with Ctrl).
//
//     value_range r{2, true, 2, true, false};      // row 2
//     r.set_high(5, true);                         // rows 2..5
//     r.set_high(0, true);                         // rows 0..2
//     value_range p{7, false, 7, false, false};    // a drag begun past the end of row 6: no row yet
//     p.set_high(4, true);                         // rows 4..6
struct value_range {
    uint32_t low = none;
    bool low_inclusive = true;
    uint32_t high = none;
    bool high_inclusive = true;
    bool toggle = false;

    bool active() const { return low != none; }
    bool contains(uint32_t row) const;
    // Moves the high end; false when neither the end nor its flag changed.
    bool set_high(uint32_t value, bool inclusive);
};

// The selection bytes with caret and Shift anchor.
class selection {
public:
    void reset(uint32_t count);
    uint32_t count() const { return static_cast<uint32_t>(m_selected.size()); }
    bool is_selected(uint32_t row) const { return row < count() && m_selected[row] != 0; }
    uint32_t caret() const { return m_caret; }
    uint32_t anchor() const { return m_anchor; }
    bool caret_frame() const { return m_caret_frame; }
    // How often a change of the bytes was reported (the host's selection_changed).
    unsigned changes() const { return m_changes; }
    // The rows whose bytes were written with a new value since the last call (lowest and highest); false
    // when none was. The window repaints only their cells.
    bool take_changed_span(uint32_t& low, uint32_t& high);

    // Every row but `row` unselected, `row` selected (none: nothing selected); the caret moves there.
    void select_only(uint32_t row);
    void set(uint32_t row, bool value);
    // Sets the bytes of the given rows (rows outside the list are skipped); one change at most.
    void set_rows(const std::vector<uint32_t>& rows, bool value);
    void select_all();
    // A key of the list: Home, End, Up, Down, Left, Right (with Ctrl and Shift), Space, Ctrl+A. False for
    // other keys. typing: a character was typed within the last 999 ms (Space then does not flip).
    bool key(UINT vk, bool ctrl, bool shift, uint32_t rows_per_column, bool typing = false);
    // Moves to row t by keyboard with the modifiers' selection rules.
    void move_to(uint32_t t, bool ctrl, bool shift);
    void set_caret(uint32_t row) { m_caret = row < count() ? row : none; }
    void hide_caret_frame() { m_caret_frame = false; }

    // Left or right button down at `row` (none: no row under the point; past_end: the point lies past the
    // end of its column or of the list and `row` is the row it was clamped to). No row: nothing selected. A
    // right click on a selected row only moves the caret. Otherwise, without ctrl every row is unselected;
    // with shift the range runs from the anchor (else the caret, else the row; it becomes the anchor) to the
    // row, else it covers the row alone (nothing for a past-the-end point) and the anchor is cleared; ctrl
    // makes the range flip rows. The caret moves to the row (none past the end). True when a drag began.
    bool press(uint32_t row, bool past_end, bool ctrl, bool shift, bool right);
    // The pointer of a drag moved over `row` (past_end as for press): the caret moves to a real row, the
    // range's high end follows, and only rows whose membership changed are written.
    void drag_to(uint32_t row, bool past_end);
    // The button went up (or the capture was lost): the drag is over and the selection stays as it is.
    void end_drag() { m_drag = value_range(); }
    bool dragging() const { return m_drag.active(); }
    const value_range& drag_range() const { return m_drag; }

private:
    void write(uint32_t row, uint8_t value, bool& changed);
    // Writes the rows whose membership differs between the two ranges.
    void apply(const value_range& before, const value_range& after, bool& changed);

    std::vector<uint8_t> m_selected;
    uint32_t m_caret = none;
    uint32_t m_anchor = none;
    bool m_caret_frame = false;
    unsigned m_changes = 0;
    value_range m_drag;
    uint32_t m_changed_low = none, m_changed_high = 0;
};

// Type-ahead: characters typed within 999 ms of each other form the search text.
class typeahead {
public:
    // The row found for the character typed at `now` (GetTickCount), searching from `start` (none: row 0)
    // with wrap-around: first a row starting with the text, else one containing it (both case-insensitive).
    // none when nothing matches, the list is empty, or a space starts nothing.
    template <class TextOf>
    uint32_t type(wchar_t c, DWORD now, uint32_t start, uint32_t count, TextOf text_of);
    // Whether a character was typed within the last 999 ms.
    bool typing(DWORD now) const { return m_time != 0 && now - m_time <= 999; }
    void clear_time() { m_time = 0; }
    const std::wstring& text() const { return m_text; }

private:
    static bool starts_with(const std::wstring& text, const std::wstring& part);
    static bool contains(const std::wstring& text, const std::wstring& part);
    static std::wstring lower(std::wstring text);

    std::wstring m_text;
    DWORD m_time = 0;
};

// Wheel steps: lines_per_notch n (-1: a page per message) turns the running sum into lines, 120 / n units a
// line; a sum smaller than a line is kept, and after scrolling the sum keeps what is left over of a line.
// Positive: towards the top (or left). page is set for page scrolling (lines is then +1 or -1).
int wheel_lines(int& rest, int delta, int lines_per_notch, bool& page);

// The in-place tip for a hover at `at` (client coordinates) over `row`, whose text is text_extent pixels wide
// in the list's font, in a client of width x height: true when the point lies on the row's icon or text and
// the text is cut off (icon and text wider than the cell) or reaches past the client's right, top or bottom
// edge (the left edge is not tested). `tip` (client coordinates) is then the cell with its left edge moved
// to where the text starts less two gaps.
bool tip_placement(const layout& l, const metrics& m, uint32_t row, int text_extent, POINT at, int width,
                   int height, RECT& tip);

// Middle-button autoscroll: the pixels to scroll in one 15 ms tick for the cursor's offset from the start
// point (screen pixels) at `dpi`, the fractions carried in rest_x and rest_y: at 96 DPI the speed is
// (0.6 x 0.05 x distance)^2 pixels per tick along the offset.
POINT autoscroll_step(int dx, int dy, int dpi, double& rest_x, double& rest_y);

template <class TextOf>
uint32_t typeahead::type(wchar_t c, DWORD now, uint32_t start, uint32_t count, TextOf text_of) {
    if (!typing(now)) m_text.clear();
    if (c == L' ' && m_text.empty()) {
        m_time = 0;
        return none;
    }
    m_text.push_back(c);
    m_time = now == 0 ? 0xFFFFFFFFu : now;
    if (count == 0) return none;
    if (start >= count) start = 0;
    std::wstring wanted = lower(m_text);
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t row = (start + i) % count;
            std::wstring text = lower(text_of(row));
            if (pass == 0 ? starts_with(text, wanted) : contains(text, wanted)) return row;
        }
    }
    return none;
}

}  // namespace item_list
