// The volume control's arithmetic and the two control classes: positions and decibels both ways, the
// slider's geometry, the Volume button's picture, the XButton's notification sequences and the popup's
// wheel and quit handling.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/volume_popup.h"
#include "ui/volume_scale.h"
#include "ui/volume_slider.h"
#include "ui/xbutton.h"

namespace {

// ---- a parent window that records its WM_COMMAND notifications ------------------------------------------

std::vector<int>* g_codes = nullptr;

LRESULT CALLBACK recording_parent(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && g_codes != nullptr) g_codes->push_back(HIWORD(wparam));
    return DefWindowProcW(window, message, wparam, lparam);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

struct button_fixture {
    std::vector<int> codes;
    HWND parent = nullptr;
    HWND button = nullptr;
    HWND other = nullptr;

    explicit button_fixture(DWORD extra_style) {
        static ATOM parent_class = 0;
        if (parent_class == 0) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = &recording_parent;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"vorn-test-xbutton-parent";
            parent_class = RegisterClassW(&wc);
        }
        xbutton::register_class();
        // One parent for every case: showing and destroying a top-level window costs Wine seconds here.
        static HWND shared_parent = CreateWindowExW(0, L"vorn-test-xbutton-parent", L"xbutton test",
                                                    WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, nullptr,
                                                    nullptr, nullptr);
        parent = shared_parent;
        SetActiveWindow(parent);
        button = CreateWindowExW(0, xbutton::class_name, L"", WS_CHILD | WS_VISIBLE | extra_style, 10, 10, 40, 40,
                                 parent, reinterpret_cast<HMENU>(1000), nullptr, nullptr);
        other = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 100, 10, 40, 40, parent, nullptr, nullptr,
                                nullptr);
        pump();
        g_codes = &codes;
        codes.clear();
    }
    ~button_fixture() {
        g_codes = nullptr;
        DestroyWindow(button);
        DestroyWindow(other);
        pump();
    }
    // Client coordinates of the button: inside it, and over the other window.
    static LPARAM inside() { return MAKELPARAM(20, 20); }
    static LPARAM outside() { return MAKELPARAM(110, 20); }
    // Only the codes of the press itself (focus codes 6 and 7 are left out).
    std::vector<int> press_codes() const {
        std::vector<int> out;
        for (int c : codes)
            if (c != xbutton::code_focus && c != xbutton::code_unfocus) out.push_back(c);
        return out;
    }
    LRESULT check() const { return SendMessageW(button, BM_GETCHECK, 0, 0); }
};

struct recording_volume final : volume_popup::target {
    std::vector<float> set;
    void set_volume(float db) override { set.push_back(db); }
};

}  // namespace

TEST_CASE("slider positions and decibels map both ways") {
    struct row {
        int position;
        double db;
    };
    const row to_db[] = {{0, 0.0}, {50, -10.0}, {75, -20.0}, {100, -100.0}, {120, -100.0}, {99, -66.438561897747}};
    for (const row& r : to_db) {
        INFO("position " << r.position);
        CHECK(volume_scale::position_to_db(r.position) == doctest::Approx(r.db).epsilon(1e-9));
    }
    const row to_position[] = {{0, 0.0}, {50, -10.0}, {75, -20.0}, {100, -100.0}, {0, 6.0}, {100, -1000.0},
                               {100, -HUGE_VAL}, {0, HUGE_VAL}};
    for (const row& r : to_position) {
        INFO("dB " << r.db);
        CHECK(volume_scale::db_to_position(r.db) == r.position);
    }
    // Every position survives the round trip through decibels.
    for (int p = 0; p <= 100; ++p) CHECK(volume_scale::db_to_position(volume_scale::position_to_db(p)) == p);
}

TEST_CASE("slider geometry: position from a point and the thumb") {
    const RECT client = {0, 0, 30, 130};  // margin 10, usable length 110
    struct row {
        int y, range_min, range_max;
        bool answers;
        int position;
    };
    const row rows[] = {
        {10, 0, 100, true, 0},     {120, 0, 100, true, 100},  {65, 0, 100, true, 50},  {-50, 0, 100, true, 0},
        {500, 0, 100, true, 100},  {66, 0, 100, true, 51},    {65, 20, 40, true, 30},  {65, 5, 5, true, 0},
        {65, 9, 3, true, 0},
    };
    for (const row& r : rows) {
        INFO("y " << r.y << " range " << r.range_min << ".." << r.range_max);
        int position = -1;
        CHECK(volume_scale::position_from_point(r.y, client, r.range_min, r.range_max, position) == r.answers);
        CHECK(position == r.position);
    }
    int untouched = 7;
    const RECT flat = {0, 0, 30, 20};  // shorter than both margins: no position
    CHECK_FALSE(volume_scale::position_from_point(10, flat, 0, 100, untouched));
    CHECK(untouched == 7);

    RECT thumb = {};
    REQUIRE(volume_scale::thumb_rect(50, client, 0, 100, thumb));
    CHECK(thumb.left == 3);  // w / 8
    CHECK(thumb.right == 27);
    CHECK(thumb.top == 10 + 55 - 7);  // centre w/3 + 0.5 L, half-height w / 4
    CHECK(thumb.bottom == 10 + 55 + 7);
    REQUIRE(volume_scale::thumb_rect(250, client, 0, 100, thumb));  // above the range: at the bottom
    CHECK(thumb.top == 120 - 7);
    CHECK_FALSE(volume_scale::thumb_rect(-1, client, 0, 100, thumb));
    CHECK_FALSE(volume_scale::thumb_rect(5, client, 5, 5, thumb));
    CHECK_FALSE(volume_scale::thumb_rect(5, flat, 0, 100, thumb));
}

TEST_CASE("the Volume button's picture and the popup's wheel steps") {
    struct row {
        double db;
        int icon;
    };
    const row icons[] = {{-100.0, IDR_PNG_VOLUME_MUTED}, {-15.01, IDR_PNG_VOLUME_LOW}, {-15.0, IDR_PNG_VOLUME_MEDIUM},
                         {-5.01, IDR_PNG_VOLUME_MEDIUM}, {-5.0, IDR_PNG_VOLUME_HIGH},  {0.0, IDR_PNG_VOLUME_HIGH},
                         {-99.99, IDR_PNG_VOLUME_LOW}};
    for (const row& r : icons) {
        INFO("dB " << r.db);
        CHECK(volume_scale::icon_for(r.db) == r.icon);
    }
    CHECK(volume_scale::wheel_position(50, 120) == 40);   // away from the user: up, louder
    CHECK(volume_scale::wheel_position(50, -240) == 70);
    CHECK(volume_scale::wheel_position(5, 120) == 0);
    CHECK(volume_scale::wheel_position(95, -120) == 100);
    CHECK(volume_scale::wheel_position(50, 60) == 45);    // half a notch
}

TEST_CASE("XButton press sequences") {
    SUBCASE("a press released over the button: 2, then 3, then the posted click") {
        button_fixture f(0);
        SendMessageW(f.button, WM_LBUTTONDOWN, MK_LBUTTON, button_fixture::inside());
        SendMessageW(f.button, WM_LBUTTONUP, 0, button_fixture::inside());
        CHECK(f.press_codes() == std::vector<int>{2, 3});  // the click is still in the queue
        pump();
        CHECK(f.press_codes() == std::vector<int>{2, 3, 0});
        CHECK(GetFocus() == f.button);
    }
    SUBCASE("a press that leaves the button and is released outside: 2, 3 and no click") {
        button_fixture f(0);
        SendMessageW(f.button, WM_LBUTTONDOWN, MK_LBUTTON, button_fixture::inside());
        SendMessageW(f.button, WM_MOUSEMOVE, MK_LBUTTON, button_fixture::outside());
        SendMessageW(f.button, WM_LBUTTONUP, 0, button_fixture::outside());
        pump();
        CHECK(f.press_codes() == std::vector<int>{2, 3});
    }
    SUBCASE("the mouse leaving the window releases without a click") {
        button_fixture f(0);
        SendMessageW(f.button, WM_LBUTTONDOWN, MK_LBUTTON, button_fixture::inside());
        SendMessageW(f.button, WM_MOUSELEAVE, 0, 0);
        SendMessageW(f.button, WM_LBUTTONUP, 0, button_fixture::inside());
        pump();
        CHECK(f.press_codes() == std::vector<int>{2, 3});
    }
    SUBCASE("Space on a check box flips it and clicks; key repeats press once") {
        button_fixture f(BS_CHECKBOX);
        SetFocus(f.button);
        SendMessageW(f.button, WM_KEYDOWN, VK_SPACE, 0);
        SendMessageW(f.button, WM_KEYDOWN, VK_SPACE, 0x40000000);
        SendMessageW(f.button, WM_KEYUP, VK_SPACE, 0);
        pump();
        CHECK(f.press_codes() == std::vector<int>{2, 3, 0});
        CHECK(f.check() == 1);
        SendMessageW(f.button, WM_KEYDOWN, VK_SPACE, 0);
        SendMessageW(f.button, WM_KEYUP, VK_SPACE, 0);
        pump();
        CHECK(f.check() == 0);
    }
    SUBCASE("a plain button checked by its parent ignores presses; a check box does not") {
        button_fixture plain(0);
        SendMessageW(plain.button, BM_SETCHECK, 1, 0);
        SendMessageW(plain.button, WM_LBUTTONDOWN, MK_LBUTTON, button_fixture::inside());
        SendMessageW(plain.button, WM_LBUTTONUP, 0, button_fixture::inside());
        pump();
        CHECK(plain.press_codes().empty());
        CHECK(plain.check() == 1);
    }
    SUBCASE("losing the focus while pressed releases: 7 then 3") {
        button_fixture f(0);
        SendMessageW(f.button, WM_LBUTTONDOWN, MK_LBUTTON, button_fixture::inside());
        f.codes.clear();
        SetFocus(f.other);
        SendMessageW(f.button, WM_LBUTTONUP, 0, button_fixture::inside());
        pump();
        CHECK(f.codes == std::vector<int>{7, 3});
    }
}

TEST_CASE("VolumeSlider: range, position and a drag posting its positions") {
    button_fixture f(0);  // for its parent
    volume_slider::register_class();
    struct destroy_at_end {
        HWND& window;
        ~destroy_at_end() { DestroyWindow(window); }
    };
    HWND slider = CreateWindowExW(0, volume_slider::class_name, L"", WS_CHILD | WS_VISIBLE, 150, 0, 30, 130, f.parent,
                                  reinterpret_cast<HMENU>(IDC_VOLUME_SLIDER), nullptr, nullptr);
    destroy_at_end slider_scope{slider};
    REQUIRE(slider != nullptr);
    CHECK(SendMessageW(slider, TBM_GETPOS, 0, 0) == 0);
    SendMessageW(slider, TBM_SETPOS, TRUE, 42);
    CHECK(SendMessageW(slider, TBM_GETPOS, 0, 0) == 42);
    UpdateWindow(slider);  // paints the wedge and the thumb without failing
    SendMessageW(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 65));
    CHECK(SendMessageW(slider, TBM_GETPOS, 0, 0) == 50);
    CHECK(GetCapture() == slider);
    SendMessageW(slider, WM_LBUTTONUP, 0, MAKELPARAM(15, 120));
    CHECK(SendMessageW(slider, TBM_GETPOS, 0, 0) == 100);
    CHECK(GetCapture() == nullptr);
    MSG msg;
    std::vector<int> posted;
    while (PeekMessageW(&msg, f.parent, WM_VSCROLL, WM_VSCROLL, PM_REMOVE)) {
        CHECK(LOWORD(msg.wParam) == SB_THUMBPOSITION);
        CHECK(reinterpret_cast<HWND>(msg.lParam) == slider);
        posted.push_back(HIWORD(msg.wParam));
    }
    CHECK(posted == std::vector<int>{50, 100});
}

TEST_CASE("the volume popup: a wheel notch sets the volume, a quit request closes it and is kept") {
    button_fixture f(0);
    recording_volume volume;
    // They wait in the queue: the popup's own loop takes them, the quit request last.
    PostMessageW(nullptr, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    PostMessageW(nullptr, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    PostMessageW(nullptr, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    PostQuitMessage(7);
    volume_popup::run(f.parent, POINT{300, 200}, volume, nullptr);
    REQUIRE(volume.set.size() == 3);
    CHECK(volume.set[0] == doctest::Approx(volume_scale::position_to_db(10)));
    CHECK(volume.set[1] == doctest::Approx(volume_scale::position_to_db(20)));
    CHECK(volume.set[2] == doctest::Approx(volume_scale::position_to_db(10)));
    MSG msg;
    bool quit_kept = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_QUIT) quit_kept = msg.wParam == 7;
    CHECK(quit_kept);
}
