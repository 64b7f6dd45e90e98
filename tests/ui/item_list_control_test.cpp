// The item list window with a fake host: reset and layout, keys and clicks reaching the selection and the
// host, type-ahead through WM_CHAR, Enter and double clicks activating, the wheel scrolling by whole lines,
// and an empty list taking every input without harm.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/gui_support.h"
#include "ui/item_list_control.h"

namespace {

struct fake_host final : list_control_host {
    std::vector<std::wstring> rows;
    bool one_column = false;
    int icon_size = 0;
    int activations = 0;
    int selection_changes = 0;
    int panels_drawn = 0;

    void set_icon_size(int width, int) override { icon_size = width; }
    std::wstring item_text(uint32_t row) override { return row < rows.size() ? rows[row] : L"?"; }
    uint32_t item_count() override { return static_cast<uint32_t>(rows.size()); }
    HICON item_icon(uint32_t) override { return nullptr; }
    void activate() override { ++activations; }
    void selection_changed() override { ++selection_changes; }
    bool single_column() override { return one_column; }
    bool has_side_panel() override { return one_column; }
    void draw_side_panel(const RECT&, const RECT&, int, HDC) override { ++panels_drawn; }
    COLORREF color(int role) override { return role == 2 ? RGB(255, 255, 255) : role == 3 ? RGB(0, 0, 200) : 0; }
};

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct list_fixture {
    fake_host host;
    HWND parent;
    item_list_control list{&host};
    explicit list_fixture(int rows) {
        for (int i = 0; i < rows; ++i) host.rows.push_back(L"Row " + std::to_wstring(i));
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        list.create(parent, RECT{0, 0, 300, 200}, 1);
        pump();
    }
    ~list_fixture() { DestroyWindow(parent); }
    LPARAM row_point(uint32_t row) const {
        RECT cell = item_list::cell_rect(list.current_layout(), row);
        return MAKELPARAM(cell.left + 5 - list.current_layout().scroll_x,
                          cell.top + 3 - list.current_layout().scroll_y);
    }
};

}  // namespace

TEST_CASE("the item list window: clicks, keys, type-ahead and activation reach the host") {
    list_fixture f(300);
    CHECK(f.host.icon_size > 0);
    CHECK(f.list.current_layout().rows_per_column < 300);  // 300 rows do not fit 200 pixels: columns
    SendMessageW(f.list.window(), WM_LBUTTONDOWN, MK_LBUTTON, f.row_point(3));
    SendMessageW(f.list.window(), WM_LBUTTONUP, 0, f.row_point(3));
    CHECK(f.list.selection().is_selected(3));
    CHECK(f.list.selection().caret() == 3);
    CHECK(f.host.selection_changes == 1);
    SendMessageW(f.list.window(), WM_KEYDOWN, VK_DOWN, 0);
    CHECK(f.list.selection().caret() == 4);
    CHECK(f.host.selection_changes == 2);
    SendMessageW(f.list.window(), WM_KEYDOWN, VK_RETURN, 0);
    CHECK(f.host.activations == 1);
    SendMessageW(f.list.window(), WM_CHAR, L'r', 0);
    SendMessageW(f.list.window(), WM_CHAR, L'o', 0);
    SendMessageW(f.list.window(), WM_CHAR, L'w', 0);
    SendMessageW(f.list.window(), WM_CHAR, L' ', 0);
    SendMessageW(f.list.window(), WM_CHAR, L'2', 0);
    SendMessageW(f.list.window(), WM_CHAR, L'7', 0);
    SendMessageW(f.list.window(), WM_CHAR, L'7', 0);
    CHECK(f.list.selection().caret() == 277);
    CHECK(f.list.selection().is_selected(277));
    CHECK_FALSE(f.list.selection().is_selected(4));
    CHECK(f.list.current_layout().scroll_x > 0);  // row 277 was scrolled into view
    SendMessageW(f.list.window(), WM_LBUTTONDBLCLK, MK_LBUTTON, f.row_point(277));
    CHECK(f.host.activations == 2);
    SendMessageW(f.list.window(), WM_KEYDOWN, VK_HOME, 0);
    CHECK(f.list.current_layout().scroll_x == 0);
    UpdateWindow(f.list.window());
}

TEST_CASE("the item list window: the wheel scrolls whole lines and keeps the rest") {
    list_fixture f(40);
    f.host.one_column = true;
    f.list.reset();
    pump();
    UINT lines = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines == 0 || lines == WHEEL_PAGESCROLL) lines = 3;
    int row = f.list.current_layout().cell_height;
    SendMessageW(f.list.window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    CHECK(f.list.current_layout().scroll_y == static_cast<int>(lines) * row);
    // Small deltas move nothing until they add up to a line, then exactly that line.
    int step = 120 / static_cast<int>(lines);
    int before = f.list.current_layout().scroll_y;
    SendMessageW(f.list.window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-(step / 2))), 0);
    CHECK(f.list.current_layout().scroll_y == before);
    SendMessageW(f.list.window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-(step - step / 2))), 0);
    CHECK(f.list.current_layout().scroll_y == before + row);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 300, 200);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    SendMessageW(f.list.window(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    CHECK(f.host.panels_drawn > 0);  // one column with a side panel paints it
}

TEST_CASE("the item list window: an empty list takes every input") {
    list_fixture f(0);
    const UINT keys[] = {VK_HOME, VK_END, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT, VK_SPACE, VK_PRIOR, 'A'};
    for (UINT k : keys) SendMessageW(f.list.window(), WM_KEYDOWN, k, 0);
    SendMessageW(f.list.window(), WM_CHAR, L'x', 0);
    SendMessageW(f.list.window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(f.list.window(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    SendMessageW(f.list.window(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(f.list.window(), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    SendMessageW(f.list.window(), WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageW(f.list.window(), WM_HSCROLL, SB_PAGEDOWN, 0);
    UpdateWindow(f.list.window());
    CHECK(f.list.selection().caret() == item_list::none);
    CHECK(f.host.activations == 0);
    CHECK(f.host.selection_changes == 0);
    CHECK(f.list.current_layout().scroll_x == 0);
    CHECK(f.list.current_layout().scroll_y == 0);
}

namespace {

std::vector<uint32_t> selected_rows(const item_list_control& list) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < list.selection().count(); ++i)
        if (list.selection().is_selected(i)) out.push_back(i);
    return out;
}

// Counts the WM_CONTEXTMENU messages the list's parent receives.
int g_context_menus = 0;
WNDPROC g_static_procedure = nullptr;
LRESULT CALLBACK counting_parent(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CONTEXTMENU) ++g_context_menus;
    return CallWindowProcW(g_static_procedure, window, message, wparam, lparam);
}

}  // namespace

TEST_CASE("the item list window: drags select ranges, hold the capture and end at button up") {
    list_fixture f(300);
    HWND list = f.list.window();
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, f.row_point(3));
    CHECK(GetCapture() == list);
    SendMessageW(list, WM_MOUSEMOVE, MK_LBUTTON, f.row_point(5));
    SendMessageW(list, WM_MOUSEMOVE, MK_LBUTTON, f.row_point(6));
    SendMessageW(list, WM_LBUTTONUP, 0, f.row_point(6));
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{3, 4, 5, 6});
    CHECK(f.list.selection().caret() == 6);
    CHECK(f.host.selection_changes == 3);  // the press and each move that changed rows
    CHECK(GetCapture() != list);
    SendMessageW(list, WM_MOUSEMOVE, 0, f.row_point(9));  // no drag any more
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{3, 4, 5, 6});

    // Losing the capture ends a drag as well.
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, f.row_point(20));
    ReleaseCapture();
    SendMessageW(list, WM_MOUSEMOVE, MK_LBUTTON, f.row_point(22));
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{20});

    // A right drag selects too, and its button up still reaches the parent as a context menu request.
    g_context_menus = 0;
    g_static_procedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(f.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&counting_parent)));
    SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, f.row_point(10));
    SendMessageW(list, WM_MOUSEMOVE, MK_RBUTTON, f.row_point(12));
    SendMessageW(list, WM_RBUTTONUP, 0, f.row_point(12));
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{10, 11, 12});
    CHECK(g_context_menus == 1);
    // A right click inside the selection keeps it for the menu.
    SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, f.row_point(11));
    SendMessageW(list, WM_RBUTTONUP, 0, f.row_point(11));
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{10, 11, 12});
    CHECK(f.list.selection().caret() == 11);
    CHECK(g_context_menus == 2);
    SetWindowLongPtrW(f.parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_static_procedure));
}

TEST_CASE("the item list window: the operations the main window calls") {
    list_fixture f(300);
    f.list.set_selection({4, 9, 400}, true);  // a row past the end is skipped
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{4, 9});
    CHECK(f.host.selection_changes == 1);
    f.list.set_selection({4, 9}, true);  // no change: the host hears nothing
    CHECK(f.host.selection_changes == 1);
    f.list.set_caret(250);
    CHECK(f.list.selection().caret() == 250);
    CHECK(selected_rows(f.list) == std::vector<uint32_t>{4, 9});
    CHECK(f.list.scroll_position().x == 0);

    // The caret row's point: it is scrolled into view first and the point lies inside it, on screen.
    POINT at = {0, 0};
    REQUIRE(f.list.focused_row_point(at));
    CHECK(f.list.scroll_position().x > 0);
    ScreenToClient(f.list.window(), &at);
    at.x += f.list.scroll_position().x;
    at.y += f.list.scroll_position().y;
    bool past_end = false;
    CHECK(item_list::hit_test(f.list.current_layout(), at, false, past_end) == 250);

    f.list.set_scroll(-50, 0);
    CHECK(f.list.scroll_position().x == 0);
    f.list.set_scroll(1000000, 1000000);  // kept within the content
    RECT client;
    GetClientRect(f.list.window(), &client);
    CHECK(f.list.scroll_position().x == f.list.current_layout().content_width - client.right);
    CHECK(f.list.scroll_position().y == 0);

    // reset keeps nothing of the old rows' state.
    SendMessageW(f.list.window(), WM_LBUTTONDOWN, MK_LBUTTON, f.row_point(f.list.selection().caret()));
    f.host.rows.resize(20);
    f.list.reset();
    CHECK(selected_rows(f.list).empty());
    CHECK(f.list.selection().caret() == item_list::none);
    CHECK_FALSE(f.list.selection().dragging());
    CHECK(GetCapture() != f.list.window());
    CHECK_FALSE(f.list.focused_row_point(at));
}

TEST_CASE("the item list window: a page of a long single column is half the client, not half the list") {
    list_fixture f(300);
    f.host.one_column = true;
    f.list.reset();
    pump();
    RECT client;
    GetClientRect(f.list.window(), &client);
    const int row = f.list.current_layout().cell_height;
    SendMessageW(f.list.window(), WM_VSCROLL, SB_PAGEDOWN, 0);
    CHECK(f.list.scroll_position().y == row * (client.bottom / row) / 2);
    SendMessageW(f.list.window(), WM_VSCROLL, SB_PAGEUP, 0);
    CHECK(f.list.scroll_position().y == 0);
}

TEST_CASE("the item list window: the in-place tip shows a cut-off row in full and hides when the pointer leaves") {
    list_fixture f(300);
    const std::wstring long_text = L"Simon & Garfunkel - The Sounds of Silence, remastered with bonus tracks";
    f.host.rows[1] = long_text;
    f.list.reset();
    pump();
    ShowWindow(f.parent, SW_SHOWNOACTIVATE);
    HWND list = f.list.window();

    SendMessageW(list, WM_MOUSEHOVER, 0, f.row_point(2));  // "Row 2" fits: no tip
    CHECK_FALSE(f.list.tip_shown());
    SendMessageW(list, WM_MOUSEHOVER, MK_LBUTTON, f.row_point(1));  // a button held: no tip
    CHECK_FALSE(f.list.tip_shown());

    // Over the row's text.
    const item_list::metrics& m = f.list.current_metrics();
    const LPARAM on_text = MAKELPARAM(LOWORD(f.row_point(1)) + m.text_x, HIWORD(f.row_point(1)));
    SendMessageW(list, WM_MOUSEHOVER, 0, on_text);
    REQUIRE(f.list.tip_shown());
    HWND tip = f.list.tip_window();
    REQUIRE(tip != nullptr);
    CHECK(IsWindowVisible(tip));
    wchar_t shown[256] = {};
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = list;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = shown;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    CHECK(std::wstring(shown) == long_text);  // ampersands as they are
    // The tip lies over the row, from where its text starts.
    RECT cell = item_list::cell_rect(f.list.current_layout(), 1);
    POINT cell_origin = {cell.left, cell.top};
    ClientToScreen(list, &cell_origin);
    RECT tip_rect;
    GetWindowRect(tip, &tip_rect);
    // (The tooltip control may shift its window by a pixel or so for its own frame.)
    CHECK(std::abs(tip_rect.left - (cell_origin.x + m.text_x - 2 * m.gap)) <= 2);
    CHECK(std::abs(tip_rect.top - cell_origin.y) <= 2);

    SendMessageW(list, WM_MOUSEMOVE, 0, on_text);  // still on the row's text
    CHECK(f.list.tip_shown());
    SendMessageW(list, WM_MOUSEMOVE, 0, f.row_point(5));  // off the row
    CHECK_FALSE(f.list.tip_shown());
    CHECK_FALSE(IsWindowVisible(tip));

    SendMessageW(list, WM_MOUSEHOVER, 0, on_text);
    CHECK(f.list.tip_shown());
    SendMessageW(list, WM_HSCROLL, SB_LINEDOWN, 0);  // scrolling moves the row away from the tip
    CHECK_FALSE(f.list.tip_shown());
}

TEST_CASE("the item list window: middle-button autoscroll starts, ends and scrolls") {
    struct row {
        const char* name;
        std::vector<UINT> messages;  // after the middle button went down
        bool active;
    };
    const row rows[] = {
        {"the middle button down starts it", {}, true},
        {"pointer moves do not end it", {WM_MOUSEMOVE}, true},
        {"the middle button up ends it", {WM_MBUTTONUP}, false},
        {"a second middle click ends it", {WM_MBUTTONDOWN}, false},
        {"a middle double click ends it", {WM_MBUTTONDBLCLK}, false},
        {"a left press ends it", {WM_LBUTTONDOWN}, false},
        {"a right release ends it", {WM_RBUTTONUP}, false},
        {"an X button ends it", {WM_XBUTTONDOWN}, false},
        {"losing the capture ends it", {WM_CANCELMODE}, false},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        list_fixture f(300);
        f.host.one_column = true;
        f.list.reset();
        pump();
        HWND list = f.list.window();
        SendMessageW(list, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(100, 100));
        for (UINT message : r.messages) {
            if (message == WM_CANCELMODE)
                ReleaseCapture();
            else
                SendMessageW(list, message, 0, f.row_point(2));
        }
        CHECK(f.list.autoscrolling() == r.active);
        CHECK((GetCapture() == list) == (r.active || r.messages == std::vector<UINT>{WM_LBUTTONDOWN}));
        REQUIRE(f.list.autoscroll_marker() != nullptr);
        CHECK(IsWindowVisible(f.list.autoscroll_marker()) == (r.active ? TRUE : FALSE));
        CHECK((KillTimer(list, item_list_control::autoscroll_timer) != 0) == r.active);
        if (r.messages == std::vector<UINT>{WM_LBUTTONDOWN}) CHECK(f.list.selection().is_selected(2));
    }

    // The pointer 50 pixels below the start point at 96 DPI scrolls 2.25 pixels a tick, fractions carried.
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    list_fixture f(300);
    f.host.one_column = true;
    f.list.reset();
    pump();
    POINT start = {100, 100};
    SendMessageW(f.list.window(), WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(start.x, start.y));
    ClientToScreen(f.list.window(), &start);
    if (dpi == 96) {
        for (int i = 0; i < 4; ++i) f.list.autoscroll_tick(POINT{start.x, start.y + 50});
        CHECK(f.list.scroll_position().y == 9);
    }
    const int moved = f.list.scroll_position().y;
    CHECK(moved > 0);
    f.list.autoscroll_tick(start);  // at the start point: still
    CHECK(f.list.scroll_position().y == moved);
    for (int i = 0; i < 4; ++i) f.list.autoscroll_tick(POINT{start.x, start.y - 50});
    CHECK(f.list.scroll_position().y == 0);
    SendMessageW(f.list.window(), WM_MBUTTONUP, 0, 0);
    f.list.autoscroll_tick(POINT{start.x, start.y + 200});  // ended: no more scrolling
    CHECK(f.list.scroll_position().y == 0);
}

namespace {

// "x y" of a client point of the list on screen.
std::string screen_point(HWND list, POINT at) {
    ClientToScreen(list, &at);
    return std::to_string(at.x) + " " + std::to_string(at.y);
}

POINT row_text_point(const item_list_control& list, uint32_t row) {
    RECT cell = item_list::cell_rect(list.current_layout(), row);
    return POINT{cell.left + list.current_metrics().text_x + 10 - list.current_layout().scroll_x,
                 (cell.top + cell.bottom) / 2 - list.current_layout().scroll_y};
}

}  // namespace

TEST_CASE("gui scenario: the item list under a real pointer: hover tip, drag, middle-button autoscroll" *
          doctest::skip()) {
    REQUIRE(gui_test::scenario_active());
    fake_host host;
    for (int i = 0; i < 400; ++i) host.rows.push_back(L"Row " + std::to_wstring(i));
    host.rows[1] = L"Simon & Garfunkel - The Sounds of Silence, remastered with bonus tracks";
    HWND top = CreateWindowExW(0, L"STATIC", L"Item list test", WS_POPUP | WS_VISIBLE, 40, 40, 420, 300, nullptr,
                               nullptr, nullptr, nullptr);
    REQUIRE(top != nullptr);
    {
        item_list_control list(&host);
        list.create(top, RECT{0, 0, 420, 300}, 1);
        gui_test::pump_for(0.3);
        HWND window = list.window();

        // Hover: the script rests the pointer on row 1's cut-off text; the tip comes after the hover time.
        gui_test::scenario_step("hover-ready", screen_point(window, row_text_point(list, 1)).c_str());
        CHECK(gui_test::pump_until([&] { return list.tip_shown(); }, 10));
        gui_test::scenario_step("hover-shown");
        // The script moves the pointer to row 3, whose text fits: the tip goes.
        gui_test::scenario_step("hover-leave", screen_point(window, row_text_point(list, 3)).c_str());
        CHECK(gui_test::pump_until([&] { return !list.tip_shown(); }, 10));
        CHECK_FALSE(IsWindowVisible(list.tip_window()));

        // Drag: the script presses the left button on row 4, moves to row 8 and releases there.
        std::string drag = screen_point(window, row_text_point(list, 4)) + " " +
                           screen_point(window, row_text_point(list, 8));
        gui_test::scenario_step("drag-ready", drag.c_str());
        CHECK(gui_test::pump_until([&] { return !list.selection().dragging() && list.selection().is_selected(8); }, 10));
        for (uint32_t row = 0; row < 12; ++row) {
            INFO(row);
            CHECK(list.selection().is_selected(row) == (row >= 4 && row <= 8));
        }
        CHECK(GetCapture() != window);

        // Autoscroll: the script presses the middle button on the list and moves the pointer 100 pixels right.
        CHECK(list.scroll_position().x == 0);
        gui_test::scenario_step("autoscroll-ready", screen_point(window, POINT{100, 150}).c_str());
        CHECK(gui_test::pump_until([&] { return list.autoscrolling() && list.scroll_position().x > 0; }, 10));
        gui_test::scenario_step("autoscroll-moving");
        // The script releases the middle button: it ends, the marker goes.
        CHECK(gui_test::pump_until([&] { return !list.autoscrolling(); }, 10));
        CHECK_FALSE(IsWindowVisible(list.autoscroll_marker()));
        CHECK(GetCapture() != window);
        gui_test::scenario_step("done");
    }
    DestroyWindow(top);
}
