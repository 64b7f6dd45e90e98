#pragma once
// The item list's arithmetic and selection rules, apart from its window: measuring, column layout and hit
// tests, the selection with caret and anchor, the navigation keys, type-ahead, wheel steps and the middle-button
// autoscroll speed. Every routine copes with an empty list and with no caret (nothing is written outside the
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

    // Every row but `row` unselected, `row` selected (none: nothing selected); the caret moves there.
    void select_only(uint32_t row);
    void set(uint32_t row, bool value);
    void select_all();
    // A key of the list: Home, End, Up, Down, Left, Right (with Ctrl and Shift), Space, Ctrl+A. False for
    // other keys. typing: a character was typed within the last 999 ms (Space then does not flip).
    bool key(UINT vk, bool ctrl, bool shift, uint32_t rows_per_column, bool typing = false);
    // Moves to row t by keyboard with the modifiers' selection rules.
    void move_to(uint32_t t, bool ctrl, bool shift);
    void set_caret(uint32_t row) { m_caret = row < count() ? row : none; }
    void hide_caret_frame() { m_caret_frame = false; }

private:
    void write(uint32_t row, uint8_t value, bool& changed);

    std::vector<uint8_t> m_selected;
    uint32_t m_caret = none;
    uint32_t m_anchor = none;
    bool m_caret_frame = false;
    unsigned m_changes = 0;
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
