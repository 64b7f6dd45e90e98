// The item list window with a fake host: reset and layout, keys and clicks reaching the selection and the
// host, type-ahead through WM_CHAR, Enter and double clicks activating, the wheel scrolling by whole lines,
// and an empty list taking every input without harm.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

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
