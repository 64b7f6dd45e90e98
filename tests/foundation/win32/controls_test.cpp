// Utility controls and behaviours: list-view calls, drawing arithmetic, the autoscroll step rule, dialog
// anchors, cell navigation and end codes, autocomplete strings; and, driven by a script with xdotool, the
// in-place editor, middle-button autoscroll and a resizable dialog.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "foundation/win32/autoscroll.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/drawing.h"
#include "foundation/win32/gdiplus.h"
#include "foundation/win32/in_place_edit.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/window_text.h"
#include "shell/static_text_paint.h"
#include "tests/support/gui_support.h"

namespace {

std::string cell(HWND list, int item, int column) {
    kpl::utf8_string_pow2 text;
    listview_get_item_text(list, item, column, text);
    return text.c_str();
}

// A top-level window holding a report-mode list of `rows` x 3 cells "r<row>c<column>".
struct list_fixture {
    struct frame_window : window_object {
        bool process_message(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return false; }
    } frame;
    listview_window list;
    HWND top = nullptr;
    HWND list_window = nullptr;

    explicit list_fixture(int rows) {
        static window_class frame_class(L"Vorn:TestFrame");
        RECT where = {40, 40, 560, 340};
        top = atl_window::create(&frame, nullptr, &where, "List test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, frame_class);
        REQUIRE(top != nullptr);
        RECT client;
        GetClientRect(top, &client);
        list_window = list.create(top, client, WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, 100);
        REQUIRE(list_window != nullptr);
        SendMessageW(list_window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        for (int c = 0; c < 3; ++c) listview_insert_column(list_window, c, c == 0 ? "Title" : c == 1 ? "Artist" : "Album", 100);
        for (int r = 0; r < rows; ++r) {
            char text[16];
            std::snprintf(text, sizeof(text), "r%dc0", r);
            REQUIRE(listview_insert_item(list_window, -1, text, r) == r);
            for (int c = 1; c < 3; ++c) {
                std::snprintf(text, sizeof(text), "r%dc%d", r, c);
                listview_set_item_text(list_window, r, c, text);
            }
        }
        SetForegroundWindow(top);
        gui_test::pump_for(0.2);
    }
    ~list_fixture() { DestroyWindow(top); }
};

// Records what the host did.
struct recording_host : listview_edit_host {
    explicit recording_host(HWND list) : listview_edit_host(list) {}
    std::vector<std::string> writes;
    int ends = 0;
    void set_cell_text(int item, int column, const char* text) override {
        writes.push_back(std::to_string(item) + "," + std::to_string(column) + "=" + text);
        listview_edit_host::set_cell_text(item, column, text);
    }
    void on_editing_end() override { ++ends; }
};

std::string screen_rect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    char text[64];
    std::snprintf(text, sizeof(text), "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    return text;
}

}  // namespace

TEST_CASE("list-view calls: insert at the end, texts, single selection, columns") {
    list_fixture f(3);
    CHECK(listview_insert_item(f.list_window, -1, "new", 7) == 3);
    CHECK(cell(f.list_window, 3, 0) == "new");
    CHECK(listview_set_item_text(f.list_window, 3, 2, "Ünïcode & more"));
    CHECK(cell(f.list_window, 3, 2) == "Ünïcode & more");
    CHECK(listview_column_count(f.list_window) == 3);
    int order[3] = {};
    CHECK(listview_column_order(f.list_window, order, 3));
    CHECK((order[0] == 0 && order[1] == 1 && order[2] == 2));
    listview_select_single(f.list_window, 1);
    listview_select_single(f.list_window, 2);
    CHECK_FALSE(listview_is_item_selected(f.list_window, 1));
    CHECK(listview_is_item_selected(f.list_window, 2));
    const RECT first = listview_subitem_rect(f.list_window, 0, 1);
    const RECT second = listview_subitem_rect(f.list_window, 1, 1);
    CHECK(second.top > first.top);
    CHECK(first.right > first.left);
}

TEST_CASE("drawing arithmetic: half mixes, split rows, button faces, the separator line") {
    CHECK(color_mix_half(RGB(0, 0, 0), RGB(255, 255, 255)) == RGB(128, 128, 128));
    CHECK(color_mix_half(RGB(255, 255, 255), RGB(0, 0, 0)) == RGB(127, 127, 127));
    CHECK(color_mix_half(RGB(10, 20, 30), RGB(10, 20, 30)) == RGB(10, 20, 30));
    CHECK(gradient_split_row(50, RECT{0, 10, 5, 110}) == 60);
    CHECK(gradient_split_row(0, RECT{0, 10, 5, 110}) == 10);
    CHECK(button_face_frame_flags(1) == DFCS_BUTTONPUSH);
    CHECK(button_face_frame_flags(3) == (DFCS_BUTTONPUSH | DFCS_PUSHED));
    CHECK(button_face_frame_flags(5) == (DFCS_BUTTONPUSH | DFCS_INACTIVE));
    int start = -1;
    CHECK(separator_line_start(40, 3, 200, start));
    CHECK(start == 43);
    CHECK(separator_line_start(0, 3, 200, start));
    CHECK(start == 0);  // an empty text: the line starts at the left edge, no gap
    CHECK_FALSE(separator_line_start(210, 3, 200, start));  // a text wider than the control: no line
    CHECK_NOTHROW(gdiplus_check(0));
    CHECK_THROWS_WITH_AS(gdiplus_check(2), "Gdiplus error (2)", exception_gdiplus);
}

TEST_CASE("autoscroll steps grow with the square of the distance and carry their remainders") {
    // Steps of 16 pixels over 160 ticks: 100 pixels below gives 9 pixels a tick (1440 pixels, 90 steps, one
    // fewer when the rounding of 0.03 lands just below); 200 pixels four times as many.
    auto steps_over = [](int dx, int dy, int dpi, int ticks) {
        autoscroll_state state;
        autoscroll_steps steps;
        int x = 0, y = 0;
        for (int tick = 0; tick < ticks; ++tick) {
            REQUIRE(autoscroll_compute(dx, dy, dpi, dpi, 4, 16, state, steps));
            x += steps.x;
            y += steps.y;
        }
        return std::make_pair(x, y);
    };
    const auto slow = steps_over(0, 100, 96, 160);
    CHECK(slow.first == 0);
    CHECK(slow.second >= 89);
    CHECK(slow.second <= 90);
    const auto fast = steps_over(0, 200, 96, 160);
    CHECK(fast.second >= 359);
    CHECK(fast.second <= 360);
    // Up and to the left: negative steps on both axes; across at 4-pixel steps.
    const auto diagonal = steps_over(-100, -100, 96, 16);
    CHECK(diagonal.first < 0);
    CHECK(diagonal.second < 0);
    const auto across = steps_over(100, 0, 96, 16);
    CHECK(across.first >= 35);  // 144 pixels of 4
    CHECK(across.second == 0);
    // At 192 DPI the same screen distance counts half in 96-DPI pixels and steps are twice as big.
    const auto hidpi = steps_over(0, 200, 192, 160);
    CHECK(hidpi.second >= 89);
    CHECK(hidpi.second <= 90);
    // No distance or no DPI: nothing.
    autoscroll_state state;
    autoscroll_steps steps;
    CHECK_FALSE(autoscroll_compute(0, 0, 96, 96, 4, 16, state, steps));
    CHECK_FALSE(autoscroll_compute(0, 50, 0, 96, 4, 16, state, steps));
}

TEST_CASE("autoscroll turns a page-sized step count into page messages") {
    list_fixture f(200);
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_PAGE;
    REQUIRE(GetScrollInfo(f.list_window, SB_VERT, &info));
    const int page = static_cast<int>(info.nPage);
    REQUIRE(page > 1);
    autoscroll_scroll_axis(f.list_window, SB_VERT, page + 2);
    const int top = static_cast<int>(SendMessageW(f.list_window, LVM_GETTOPINDEX, 0, 0));
    CHECK(top >= page);
    autoscroll_scroll_axis(f.list_window, SB_VERT, -(page + 2));
    CHECK(SendMessageW(f.list_window, LVM_GETTOPINDEX, 0, 0) == 0);
}

TEST_CASE("dialog anchors move and stretch controls by the change of size") {
    const dialog_anchor move_right = dialog_resize_helper::unpack(10 | (dialog_resize_helper::move_x << 16));
    const dialog_anchor stretch = dialog_resize_helper::unpack(11 | ((dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16));
    const dialog_anchor both = dialog_resize_helper::unpack(12 | ((dialog_resize_helper::move_x | dialog_resize_helper::stretch_x) << 16));
    CHECK(move_right.control == 10);
    const RECT start = {10, 20, 60, 40};
    RECT r = dialog_resize_helper::moved_rect(start, move_right, 100, 50);
    CHECK((r.left == 110 && r.right == 160 && r.top == 20 && r.bottom == 40));
    r = dialog_resize_helper::moved_rect(start, stretch, 100, 50);
    CHECK((r.left == 10 && r.right == 160 && r.top == 20 && r.bottom == 90));
    r = dialog_resize_helper::moved_rect(start, both, 100, 0);  // move wins over stretch
    CHECK((r.left == 110 && r.right == 160));
    const dialog_anchor half = {13, 0.5f, 0, 0.5f, 0};
    r = dialog_resize_helper::moved_rect(start, half, -7, 0);  // floor of -3.5
    CHECK(r.left == 6);
}

TEST_CASE("cell navigation and end codes") {
    const int order[] = {2, 0, 1};  // display order
    struct row {
        int item, column, code;
        bool moves;
        int next_item, next_column;
    };
    const row rows[] = {
        {0, 2, in_place_edit::next_cell, true, 0, 0},
        {0, 1, in_place_edit::next_cell, true, 1, 2},                           // wraps to the next row
        {0, 1, in_place_edit::next_cell | in_place_edit::changed, true, 1, 2},  // a changed text moves on too
        {2, 1, in_place_edit::next_cell, false, 0, 0},                          // the last cell
        {1, 2, in_place_edit::previous_cell, true, 0, 1},                       // wraps back
        {0, 2, in_place_edit::previous_cell, false, 0, 0},
        {1, 0, in_place_edit::accepted, true, 2, 0},
        {2, 0, in_place_edit::accepted, false, 0, 0},
        {1, 0, in_place_edit::cancelled, false, 0, 0},
        {1, 0, in_place_edit::left, false, 0, 0},
    };
    for (const row& r : rows) {
        INFO("item " << r.item << " column " << r.column << " code " << r.code);
        int item = -1, column = -1;
        CHECK(in_place_edit::next_cell_for(order, 3, 3, r.item, r.column, r.code, item, column) == r.moves);
        if (r.moves) CHECK((item == r.next_item && column == r.next_column));
    }
    // Only editable columns count: order {2, 0, 1} with column 0 read-only.
    const bool editable[] = {false, true, true};
    const row editable_rows[] = {
        {0, 2, in_place_edit::next_cell, true, 0, 1},      // over the read-only column
        {0, 1, in_place_edit::next_cell, true, 1, 2},      // to the first editable column of the next row
        {1, 2, in_place_edit::previous_cell, true, 0, 1},  // back to the last editable one of the row before
        {2, 1, in_place_edit::next_cell, false, 0, 0},
        {0, 2, in_place_edit::previous_cell, false, 0, 0},
        {1, 2, in_place_edit::accepted, true, 2, 2},
        {2, 2, in_place_edit::accepted, false, 0, 0},
        {1, 2, in_place_edit::left, false, 0, 0},
    };
    for (const row& r : editable_rows) {
        INFO("editable: item " << r.item << " column " << r.column << " code " << r.code);
        int item = -1, column = -1;
        CHECK(in_place_edit::move_to_next_cell(order, editable, 3, 3, r.item, r.column, r.code, item, column) == r.moves);
        if (r.moves) CHECK((item == r.next_item && column == r.next_column));
    }
    const bool none[] = {false, false, false};
    int item = -1, column = -1;
    CHECK_FALSE(in_place_edit::move_to_next_cell(order, none, 3, 3, 1, 2, in_place_edit::next_cell, item, column));
    CHECK(in_place_edit::report_code(in_place_edit::next_cell, true) == 0x101);
    CHECK(in_place_edit::report_code(in_place_edit::cancelled, true) == 0);
    CHECK(in_place_edit::report_code(in_place_edit::left, false) == 4);
}

TEST_CASE("autocomplete strings: next, skip, reset, clone, and a reloading source") {
    IEnumString* values = string_enumerator_create("Rock\r\nPop\n\nJazz");
    LPOLESTR got[4] = {};
    ULONG fetched = 0;
    CHECK(values->Next(2, got, &fetched) == S_OK);
    CHECK(fetched == 2);
    CHECK(std::wstring(got[0]) == L"Rock");
    CHECK(std::wstring(got[1]) == L"Pop");
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
    IEnumString* copy = nullptr;
    CHECK(values->Clone(&copy) == S_OK);
    CHECK(values->Next(4, got, &fetched) == S_FALSE);
    CHECK(fetched == 1);
    CHECK(std::wstring(got[0]) == L"Jazz");
    CoTaskMemFree(got[0]);
    CHECK(copy->Next(1, got, nullptr) == S_OK);  // the copy kept its own position
    CHECK(std::wstring(got[0]) == L"Jazz");
    CoTaskMemFree(got[0]);
    CHECK(values->Reset() == S_OK);
    CHECK(values->Skip(5) == S_FALSE);
    copy->Release();
    values->Release();

    struct counter_source : string_enumerator_source {
        int* reads;
        explicit counter_source(int* r) : reads(r) {}
        void get_text(kpl::utf8_string& out) override { out = ++*reads == 1 ? "a" : "a\nb"; }
    };
    int reads = 0;
    IEnumString* reloading = string_enumerator_create_reloading(new counter_source(&reads));
    reloading->Reset();
    CHECK(reloading->Next(3, got, &fetched) == S_FALSE);
    CHECK(fetched == 2);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
    reloading->Release();
}

TEST_CASE("an in-place editor reports its code once and the host writes changed texts") {
    list_fixture f(3);
    recording_host host(f.list_window);
    host.begin_edit(1, 1);
    HWND edit = host.editor_edit_control();
    REQUIRE(edit != nullptr);
    CHECK(GetDlgCtrlID(edit) == in_place_edit::edit_id);
    kpl::utf8_string_pow2 text;
    window_get_text(edit, text);
    CHECK(std::string(text.c_str()) == "r1c1");
    CHECK(SendMessageW(edit, WM_GETDLGCODE, 0, 0) == DLGC_WANTALLKEYS);

    SUBCASE("Escape after typing: nothing written, editing ends") {
        window_set_text(edit, "typed");
        SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
        CHECK(gui_test::pump_until([&] { return host.ends == 1; }, 5));
        CHECK(host.writes.empty());
        CHECK(cell(f.list_window, 1, 1) == "r1c1");
    }
    SUBCASE("Tab on the last cell writes the text and ends") {
        host.begin_edit(2, 2);
        edit = host.editor_edit_control();
        window_set_text(edit, "last");
        SendMessageW(edit, WM_KEYDOWN, VK_TAB, 0);
        CHECK(gui_test::pump_until([&] { return host.ends == 1; }, 5));
        CHECK(host.writes == std::vector<std::string>{"2,2=last"});
        CHECK_FALSE(host.is_editing());
    }
    SUBCASE("a cell with a line break opens a five-row multi-line editor") {
        listview_set_item_text(f.list_window, 0, 0, "one\r\ntwo");
        host.begin_edit(0, 0);
        edit = host.editor_edit_control();
        CHECK((GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE) != 0);
        RECT editor, cell_rect = listview_subitem_rect(f.list_window, 0, 0);
        GetWindowRect(GetParent(edit), &editor);
        CHECK(editor.bottom - editor.top >= 5 * (cell_rect.bottom - cell_rect.top));
        // Ctrl+Enter goes to the edit control (a line break), plain Enter accepts.
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
        SendMessageW(edit, WM_CHAR, '\n', 0);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
        gui_test::pump_for(0.1);
        CHECK(host.is_editing());
        host.end_edit(false);
        CHECK(host.ends == 1);
    }
}

TEST_CASE("gui scenario: in-place editing, autoscroll and a resizable dialog driven by xdotool" * doctest::skip()) {
    REQUIRE(gui_test::scenario_active());
    // --- in-place editing: the script types into the editor, Tab moves on, Escape cancels ---------------
    {
        list_fixture f(60);
        recording_host host(f.list_window);
        host.begin_edit(0, 0);
        REQUIRE(host.editor_edit_control() != nullptr);
        gui_test::pump_for(0.3);
        // The script: type "Edited", Tab, type "Dropped", Escape.
        gui_test::scenario_step("edit-open", screen_rect(f.top).c_str());
        CHECK(gui_test::pump_until([&] { return host.ends >= 1; }, 10));
        CHECK(cell(f.list_window, 0, 0) == "Edited");
        CHECK(cell(f.list_window, 0, 1) == "r0c1");
        CHECK(host.writes == std::vector<std::string>{"0,0=Edited"});

        // A click elsewhere in the window (another row) ends the editor; its changed text is written.
        host.begin_edit(1, 0);
        REQUIRE(host.editor_edit_control() != nullptr);
        const RECT row = listview_subitem_rect(f.list_window, 8, 2);
        POINT click = {(row.left + row.right) / 2, (row.top + row.bottom) / 2};
        ClientToScreen(f.list_window, &click);
        char where[32];
        std::snprintf(where, sizeof(where), "%ld %ld", click.x, click.y);
        gui_test::scenario_step("edit-click-away", where);
        CHECK(gui_test::pump_until([&] { return host.ends >= 2; }, 10));
        CHECK(cell(f.list_window, 1, 0) == "Clicked");
        CHECK_FALSE(host.is_editing());

        // --- autoscroll: the script holds the middle button and moves the pointer down --------------------
        CHECK(SendMessageW(f.list_window, LVM_GETTOPINDEX, 0, 0) == 0);
        gui_test::scenario_step("autoscroll-ready", screen_rect(f.list_window).c_str());
        CHECK(SendMessageW(f.list_window, LVM_GETTOPINDEX, 0, 0) > 0);
    }
    // --- a resizable dialog: the script drags its size grip ----------------------------------------------
    gui_test::dialog_template t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_VISIBLE, 20, 20, 200, 100,
                                L"Resizable");
    t.add(L"EDIT", L"stretches", 100, WS_BORDER, 5, 5, 190, 60);
    t.add(L"BUTTON", L"OK", IDOK, BS_PUSHBUTTON, 140, 78, 50, 14);
    struct resizable : dialog_object {
        dialog_resize_helper resizer;
        resizable() {
            static const uint32_t anchors[] = {
                100 | ((dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16),
                IDOK | ((dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16)};
            resizer.set_anchors(anchors, 2);
            resizer.set_min_size(150, 80);
        }
        bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
            if (resizer.on_message(dialog, message, wparam, lparam, result)) return true;
            if (message == WM_INITDIALOG) {
                result = TRUE;
                return true;
            }
            return false;
        }
    } dialog;
    HWND window = dialog.create_modeless_indirect(nullptr, t.get());
    REQUIRE(window != nullptr);
    REQUIRE(dialog.resizer.size_grip() != nullptr);
    gui_test::pump_for(0.3);
    RECT client_before, ok_before, edit_before;
    GetClientRect(window, &client_before);
    GetWindowRect(GetDlgItem(window, IDOK), &ok_before);
    GetWindowRect(GetDlgItem(window, 100), &edit_before);
    gui_test::scenario_step("resize-ready", screen_rect(dialog.resizer.size_grip()).c_str());
    RECT client_after, ok_after, edit_after;
    GetClientRect(window, &client_after);
    GetWindowRect(GetDlgItem(window, IDOK), &ok_after);
    GetWindowRect(GetDlgItem(window, 100), &edit_after);
    const int dw = client_after.right - client_before.right;
    const int dh = client_after.bottom - client_before.bottom;
    CHECK(dw > 0);
    CHECK(dh > 0);
    CHECK(ok_after.left - ok_before.left == dw);
    CHECK(ok_after.top - ok_before.top == dh);
    CHECK((edit_after.right - edit_after.left) - (edit_before.right - edit_before.left) == dw);
    gui_test::scenario_step("resize-done");
    DestroyWindow(window);
}

TEST_CASE("a resizable dialog grown by 100 pixels moves and widens its anchored controls; a child gets no grip") {
    struct resizable : dialog_object {
        dialog_resize_helper resizer;
        resizable() {
            static const uint32_t anchors[] = {100 | (dialog_resize_helper::stretch_x << 16),
                                               IDOK | (dialog_resize_helper::move_x << 16)};
            resizer.set_anchors(anchors, 2);
        }
        bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
            if (resizer.on_message(dialog, message, wparam, lparam, result)) return true;
            if (message != WM_INITDIALOG) return false;
            result = TRUE;
            return true;
        }
    };
    auto rect_in_parent = [](HWND control) {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    gui_test::dialog_template top(WS_POPUP | WS_CAPTION | WS_THICKFRAME, 0, 0, 200, 100, L"Grows");
    top.add(L"EDIT", L"", 100, WS_BORDER, 5, 5, 190, 60);
    top.add(L"BUTTON", L"OK", IDOK, BS_PUSHBUTTON, 140, 78, 50, 14);
    resizable dialog;
    HWND window = dialog.create_modeless_indirect(nullptr, top.get());
    REQUIRE(window != nullptr);
    CHECK(dialog.resizer.size_grip() != nullptr);
    const RECT edit_before = rect_in_parent(GetDlgItem(window, 100));
    const RECT ok_before = rect_in_parent(GetDlgItem(window, IDOK));
    RECT frame;
    GetWindowRect(window, &frame);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT edit_after = rect_in_parent(GetDlgItem(window, 100));
    const RECT ok_after = rect_in_parent(GetDlgItem(window, IDOK));
    CHECK(ok_after.left - ok_before.left == 100);
    CHECK(ok_after.right - ok_after.left == ok_before.right - ok_before.left);
    CHECK(edit_after.left == edit_before.left);
    CHECK(edit_after.right - edit_before.right == 100);
    RECT client;
    GetClientRect(window, &client);
    const RECT grip = rect_in_parent(dialog.resizer.size_grip());
    CHECK(grip.right == client.right);
    CHECK(grip.bottom == client.bottom);

    gui_test::dialog_template child(WS_CHILD, 0, 0, 100, 50, L"");
    child.add(L"EDIT", L"", 100, WS_BORDER, 5, 5, 90, 20);
    resizable inner;
    HWND inner_window = inner.create_modeless_indirect(window, child.get());
    REQUIRE(inner_window != nullptr);
    CHECK(inner.resizer.size_grip() == nullptr);
    DestroyWindow(window);
}
