// The item list's rules apart from its window: column layout and hit tests, keys and the selection with its
// anchor, type-ahead, wheel steps and the autoscroll speed, with the empty list and the missing caret that
// must never write outside the rows, divide by zero or loop.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ui/item_list_logic.h"

namespace {

using namespace item_list;

std::vector<uint32_t> selected_rows(const selection& s) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < s.count(); ++i)
        if (s.is_selected(i)) out.push_back(i);
    return out;
}

// Text height 16: gap 2, row height 20, column width 16 + widest + 6.
const metrics k_metrics = measure(16, 100, 90);

}  // namespace

TEST_CASE("measuring and layout: one column, columns, side panel, empty list") {
    CHECK(k_metrics.gap == 2);
    CHECK(k_metrics.text_x == 20);
    CHECK(k_metrics.row_height == 20);
    CHECK(k_metrics.column_width == 122);
    struct row {
        const char* name;
        uint32_t count;
        int w, h;
        bool single, panel;
        uint32_t per_column;
        int cell_width, content_width, content_height;
    };
    const row rows[] = {
        {"10 rows fit: one column", 10, 400, 200, false, false, 10, 122, 122, 200},
        {"shorter than 10 rows: columns of h / row height, reference-wide", 10, 400, 199, false, false, 9, 90, 180,
         199},
        {"lower than one row: columns of one row", 3, 400, 5, false, false, 1, 90, 270, 5},
        {"single column never breaks", 10, 400, 50, true, false, 10, 122, 122, 200},
        {"side panel: the list in the left half", 10, 200, 300, true, true, 10, 100, 100, 200},
        {"empty list", 0, 400, 200, false, false, 1, 122, 122, 0},
        {"empty list in a window of no height", 0, 0, 0, false, false, 1, 122, 122, 0},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        layout l = lay_out(r.count, r.w, r.h, k_metrics, r.single, r.panel, 0, 0);
        CHECK(l.rows_per_column == r.per_column);
        CHECK(l.cell_width == r.cell_width);
        CHECK(l.content_width == r.content_width);
        CHECK(l.content_height == r.content_height);
    }
    layout panel = lay_out(10, 200, 300, k_metrics, true, true, 0, 0);
    CHECK(panel.panel.left == 100);
    CHECK(panel.panel.right == 200);
    CHECK(panel.panel.bottom == 100);  // a square at the top of the right half
    CHECK(panel.panel_margin == 20);   // min(row height, side / 4 = 25)
    // The scroll position stays within the content.
    layout scrolled = lay_out(100, 300, 100, k_metrics, false, false, 5000, 70);
    CHECK(scrolled.scroll_x == scrolled.content_width - 300);
    CHECK(scrolled.scroll_y == 0);
}

TEST_CASE("hit tests, exact and clamped") {
    layout l = lay_out(10, 400, 80, k_metrics, false, false, 0, 0);  // 4 rows per column, 3 columns
    REQUIRE(l.rows_per_column == 4);
    struct row {
        LONG x, y;
        bool clamp;
        uint32_t hit;
        bool past_end;
    };
    const row rows[] = {
        {5, 5, false, 0, false},       {95, 65, false, 7, false},    {185, 25, false, 9, false},
        {185, 45, false, none, false}, {185, 45, true, 9, true},     {5, 500, true, 3, true},
        {5, 500, false, none, false},  {300, 5, true, none, false},  {-1, 5, true, none, false},
    };
    for (const row& r : rows) {
        INFO(r.x << "," << r.y << (r.clamp ? " clamped" : ""));
        bool past = false;
        CHECK(hit_test(l, POINT{r.x, r.y}, r.clamp, past) == r.hit);
        CHECK(past == r.past_end);
    }
    RECT cell = cell_rect(l, 9);
    CHECK(cell.left == 180);
    CHECK(cell.top == 20);
    bool past = true;
    layout empty = lay_out(0, 400, 80, k_metrics, false, false, 0, 0);
    CHECK(hit_test(empty, POINT{5, 5}, true, past) == none);
    CHECK_FALSE(past);
}

TEST_CASE("keys move the caret and select by the modifiers' rules") {
    selection s;
    s.reset(10);
    s.select_only(2);
    for (int i = 0; i < 3; ++i) s.key(VK_DOWN, false, true, 4);
    CHECK(selected_rows(s) == std::vector<uint32_t>{2, 3, 4, 5});
    CHECK(s.caret() == 5);
    CHECK(s.caret_frame());
    s.key(VK_DOWN, true, false, 4);  // Ctrl: the caret alone moves
    CHECK(s.caret() == 6);
    CHECK(selected_rows(s) == std::vector<uint32_t>{2, 3, 4, 5});
    s.key(VK_SPACE, false, false, 4);
    CHECK(selected_rows(s) == std::vector<uint32_t>{2, 3, 4, 5, 6});
    s.key(VK_SPACE, false, false, 4, true);  // while typing, Space is part of the search
    CHECK(s.is_selected(6));
    s.key(VK_RIGHT, false, false, 4);
    CHECK(selected_rows(s) == std::vector<uint32_t>{9});  // 6 + 4 clamped to the last row
    s.key(VK_LEFT, false, true, 4);
    CHECK(selected_rows(s) == std::vector<uint32_t>{5, 6, 7, 8, 9});
    s.key(VK_HOME, false, false, 4);
    CHECK(selected_rows(s) == std::vector<uint32_t>{0});
    s.key(VK_UP, false, false, 4);
    CHECK(s.caret() == 0);
    CHECK(s.key('A', true, false, 4));
    CHECK(selected_rows(s).size() == 10);
    CHECK_FALSE(s.key('A', false, false, 4));
    CHECK_FALSE(s.key(VK_F5, false, false, 4));

    SUBCASE("with no caret every move starts at row 0") {
        selection t;
        t.reset(5);
        t.key(VK_END, false, true, 2);
        CHECK(selected_rows(t) == std::vector<uint32_t>{4});  // the anchor became the target itself
        t.reset(5);
        t.key(VK_UP, false, false, 2);
        CHECK(t.caret() == 0);
        t.reset(5);
        t.key(VK_SPACE, false, false, 2);
        CHECK(selected_rows(t).empty());
    }
    SUBCASE("an empty list answers every key and changes nothing") {
        selection e;
        e.reset(0);
        const UINT keys[] = {VK_HOME, VK_END, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_SPACE};
        for (UINT k : keys)
            for (int mods = 0; mods < 4; ++mods) {
                CHECK(e.key(k, mods & 1, mods & 2, 0));
                CHECK(e.caret() == none);
            }
        e.key('A', true, false, 0);
        e.select_only(none);
        e.set(3, true);
        CHECK(e.changes() == 0);
    }
}

TEST_CASE("type-ahead: prefix first, then substring, from the caret with wrap-around") {
    const std::vector<std::wstring> texts = {L"Abba", L"Beatles", L"Bee Gees", L"Air", L"Kate Bush", L"Beck"};
    auto text_of = [&](uint32_t row) { return texts[row]; };
    typeahead t;
    CHECK(t.type(L'b', 1000, none, 6, text_of) == 1);
    CHECK(t.type(L'E', 1500, 1, 6, text_of) == 1);   // "be": Beatles from the caret
    CHECK(t.type(L'e', 2000, 1, 6, text_of) == 2);   // "bee"
    CHECK(t.type(L'b', 3100, 3, 6, text_of) == 5);   // a pause of over 999 ms: "b" from row 3 finds Beck
    CHECK(t.type(L'u', 3200, 5, 6, text_of) == 4);   // "bu": no prefix, Kate Bush contains it
    CHECK(t.type(L'x', 3300, 4, 6, text_of) == none);
    CHECK(t.type(L' ', 9000, 0, 6, text_of) == none);  // a space starts nothing
    CHECK(t.text().empty());
    CHECK_FALSE(t.typing(9100));
    CHECK(t.type(L'a', 9200, 0, 0, text_of) == none);  // an empty list: no search, no loop
    CHECK(t.typing(9300));
    CHECK(t.type(L'a', 0, 77, 6, text_of) == 0);       // a typing time of 0 still counts as typed
    CHECK(t.typing(500));
}

TEST_CASE("wheel steps: a notch turns into lines and a part of a line is kept") {
    struct row {
        const char* name;
        int lines_per_notch;
        std::vector<int> deltas;
        std::vector<int> lines;
    };
    const row rows[] = {
        {"whole notches", 3, {120, -240}, {3, -6}},
        {"small deltas add up exactly", 3, {30, 30, 30, 30}, {0, 1, 1, 1}},
        {"a delta of 50 scrolls one line, not two", 3, {50, 50}, {1, 1}},
        {"direction change cancels the rest", 3, {30, -60}, {0, 0}},
        {"one line per notch", 1, {100, 20, 120}, {0, 1, 1}},
        {"more lines than units", 200, {1, 5}, {1, 5}},
        {"zero lines count as one", 0, {120}, {1}},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        int rest = 0;
        std::vector<int> got;
        for (int d : r.deltas) {
            bool page = false;
            got.push_back(wheel_lines(rest, d, r.lines_per_notch, page));
            CHECK_FALSE(page);
        }
        CHECK(got == r.lines);
    }
    int rest = 77;
    bool page = false;
    CHECK(wheel_lines(rest, -10, -1, page) == -1);
    CHECK(page);
    CHECK(rest == 0);
}

TEST_CASE("middle-button autoscroll speed") {
    struct row {
        int dx, dy, dpi;
        int ticks;
        LONG total_x, total_y;
    };
    const row rows[] = {
        {0, 50, 96, 4, 0, 9},      // 2.25 px a tick: 2, 3, 2, 2 with the fractions carried
        {0, -50, 96, 4, 0, -9},
        {50, 0, 96, 100, 225, 0},  // carried fractions lose nothing over time
        {30, 40, 96, 4, 5, 7},     // distance 50 along (0.6, 0.8): 1.35 and 1.8 a tick
        {0, 100, 192, 4, 0, 9},    // 100 screen pixels at 192 DPI are 50 at 96, scaled back: 4.5 px a tick
        {0, 0, 96, 10, 0, 0},
        {0, 50, 0, 10, 0, 0},
    };
    for (const row& r : rows) {
        INFO(r.dx << "," << r.dy << " at " << r.dpi);
        double rest_x = 0, rest_y = 0;
        LONG x = 0, y = 0;
        for (int i = 0; i < r.ticks; ++i) {
            POINT step = autoscroll_step(r.dx, r.dy, r.dpi, rest_x, rest_y);
            x += step.x;
            y += step.y;
        }
        if (r.dpi == 192) {
            CHECK(y == 18);
        } else {
            CHECK(x == r.total_x);
            CHECK(y == r.total_y);
        }
    }
    double rest_x = 0, rest_y = 0;
    POINT first = autoscroll_step(0, 50, 96, rest_x, rest_y);
    CHECK(first.y == 2);
    CHECK(rest_y == doctest::Approx(0.25));
}

TEST_CASE("mouse presses and drags select ranges of rows") {
    // One step of the mouse: press (with modifiers), drag to a row, or button up.
    struct step {
        char kind;  // 'p' press, 'd' drag, 'u' button up
        uint32_t row;
        bool past_end, ctrl, shift, right;
    };
    auto press = [](uint32_t row, bool ctrl = false, bool shift = false, bool right = false) {
        return step{'p', row, false, ctrl, shift, right};
    };
    auto press_past = [](uint32_t row, bool shift = false) { return step{'p', row, true, false, shift, false}; };
    auto drag = [](uint32_t row, bool past_end = false) { return step{'d', row, past_end, false, false, false}; };
    const step up = {'u', 0, false, false, false, false};
    struct row {
        const char* name;
        std::vector<uint32_t> before;  // selected before (the last one is the caret)
        std::vector<step> steps;
        std::vector<uint32_t> after;
        uint32_t caret;
        unsigned changes;  // selection changes reported to the host
    };
    const row rows[] = {
        {"dragging down selects the rows passed", {7}, {press(2), drag(3), drag(5)}, {2, 3, 4, 5}, 5, 3},
        {"dragging back unselects the rows that left the range", {}, {press(2), drag(6), drag(4)}, {2, 3, 4}, 4, 3},
        {"dragging above the start", {}, {press(5), drag(3)}, {3, 4, 5}, 3, 2},
        {"a drag to the same row changes nothing", {}, {press(5), drag(5), drag(5)}, {5}, 5, 1},
        {"button up keeps the selection and ends the drag", {}, {press(2), drag(4), up, drag(7)}, {2, 3, 4}, 4, 2},
        {"a plain click selects only the row", {1, 3, 8}, {press(4), up}, {4}, 4, 1},
        {"ctrl drag flips rows entering and flips them back when they leave", {3, 4},
         {press(2, true), drag(5), drag(3)}, {2, 4}, 3, 3},
        {"ctrl click toggles one row and keeps the rest", {1, 2}, {press(2, true), up, press(5, true)}, {1, 5}, 5, 2},
        {"shift click runs from the caret, which becomes the anchor", {2}, {press(6, false, true), up,
         press(4, false, true)}, {2, 3, 4}, 4, 2},
        {"shift drag moves the far end", {2}, {press(4, false, true), drag(0)}, {0, 1, 2}, 0, 2},
        {"shift click with no caret starts at the clicked row", {}, {press(5, false, true)}, {5}, 5, 1},
        {"a press past the end selects nothing until dragged", {1}, {press_past(9), drag(7)}, {7, 8, 9}, 7, 2},
        {"dragging past the end keeps the caret on the last row passed", {}, {press(7), drag(8), drag(9, true)},
         {7, 8, 9}, 8, 3},
        {"shift click past the end reaches the clamped row", {3}, {press_past(6, true)}, {3, 4, 5, 6}, none, 1},
        {"right press on a selected row keeps the selection and starts no drag", {2, 3, 4},
         {press(3, false, false, true), drag(6)}, {2, 3, 4}, 3, 0},
        {"right press on an unselected row selects only it", {2, 3}, {press(7, false, false, true)}, {7}, 7, 1},
        {"a press on no row selects nothing", {1, 2}, {press(none)}, {}, none, 1},
        {"a press on no row while nothing is selected changes nothing", {}, {press(none), drag(4)}, {}, none, 0},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        selection s;
        s.reset(10);
        for (uint32_t each : r.before) s.set(each, true);
        if (!r.before.empty()) s.set_caret(r.before.back());
        unsigned base = s.changes();
        for (const step& st : r.steps) {
            if (st.kind == 'p')
                s.press(st.row, st.past_end, st.ctrl, st.shift, st.right);
            else if (st.kind == 'd')
                s.drag_to(st.row, st.past_end);
            else
                s.end_drag();
        }
        CHECK(selected_rows(s) == r.after);
        CHECK(s.caret() == r.caret);
        CHECK(s.changes() - base == r.changes);
    }
}

TEST_CASE("value ranges: ends included or not, in either order") {
    struct row {
        value_range range;
        std::vector<uint32_t> members;  // of rows 0..9
    };
    const row rows[] = {
        {{2, true, 5, true, false}, {2, 3, 4, 5}},
        {{5, true, 2, true, false}, {2, 3, 4, 5}},
        {{2, false, 5, true, false}, {3, 4, 5}},
        {{7, false, 4, true, false}, {4, 5, 6}},
        {{3, true, 3, true, false}, {3}},
        {{3, false, 3, false, false}, {}},
        {{3, true, 3, false, false}, {}},
        {{none, true, none, true, false}, {}},
    };
    for (const row& r : rows) {
        INFO(r.range.low << (r.range.low_inclusive ? "[" : "(") << r.range.high << (r.range.high_inclusive ? "]" : ")"));
        std::vector<uint32_t> got;
        for (uint32_t i = 0; i < 10; ++i)
            if (r.range.contains(i)) got.push_back(i);
        CHECK(got == r.members);
    }
    value_range r{2, true, 2, true, false};
    CHECK_FALSE(r.set_high(2, true));
    CHECK(r.set_high(2, false));
    CHECK(r.set_high(4, false));
}

TEST_CASE("the in-place tip: when a hover shows it and where") {
    // metrics: text_x 20, gap 2, row height 20; one column 122 wide, or columns 90 wide.
    const layout one_column = lay_out(10, 400, 300, k_metrics, true, false, 0, 0);
    const layout short_client = lay_out(10, 400, 190, k_metrics, true, false, 0, 0);
    const layout scrolled_down = lay_out(10, 400, 100, k_metrics, true, false, 0, 10);
    const layout columns = lay_out(100, 300, 100, k_metrics, false, false, 1460, 0);  // 5 rows a column
    REQUIRE(columns.scroll_x == 1460);
    struct row {
        const char* name;
        const layout* l;
        int height;
        uint32_t r;
        int extent;
        LONG x, y;
        bool shown;
        RECT tip;
    };
    const RECT none_rect = {0, 0, 0, 0};
    const row rows[] = {
        {"a text that fits shows no tip", &one_column, 300, 1, 50, 30, 25, false, none_rect},
        {"a cut-off text shows its tip over the row", &one_column, 300, 1, 150, 30, 25, true, {16, 20, 122, 40}},
        {"on the icon of a cut-off row", &one_column, 300, 1, 150, 3, 25, true, {16, 20, 122, 40}},
        {"past the end of the whole text", &one_column, 300, 1, 150, 175, 25, false, none_rect},
        {"a row cut by the client's bottom", &short_client, 190, 9, 10, 25, 185, true, {16, 180, 122, 200}},
        {"a row cut by the client's top", &scrolled_down, 100, 0, 10, 25, 5, true, {16, -10, 122, 10}},
        {"a text past the client's right edge", &columns, 100, 95, 50, 260, 5, true, {266, 0, 340, 20}},
        {"a short text before the right edge", &columns, 100, 95, 20, 260, 5, false, none_rect},
        {"a cell cut by the left edge only", &columns, 100, 80, 60, 10, 5, false, none_rect},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        RECT tip = none_rect;
        CHECK(tip_placement(*r.l, k_metrics, r.r, r.extent, POINT{r.x, r.y}, 300, r.height, tip) == r.shown);
        if (r.shown) {
            CHECK(tip.left == r.tip.left);
            CHECK(tip.top == r.tip.top);
            CHECK(tip.right == r.tip.right);
            CHECK(tip.bottom == r.tip.bottom);
        }
    }
    RECT tip;
    CHECK_FALSE(tip_placement(one_column, k_metrics, 10, 500, POINT{30, 205}, 300, 300, tip));  // past the rows
}
