// The remembered placement of resizable dialogs: the stored form (and its older short form), centring on
// the parent the first time, the kept offset from a moved parent, the template size of fixed dialogs, DPI
// rescaling, the cascade of a second dialog, and the pull back onto the parent's monitor.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ui/window_placement.h"

namespace {

config_variable_list g_private;  // the variables of this test stay out of the program's lists

class bytes_source final : public byte_source {
public:
    explicit bytes_source(std::string data) : m_data(std::move(data)) {}
    size_t read(void* buffer, size_t n, const abort_signal&) override {
        const size_t count = std::min(n, m_data.size() - m_at);
        std::memcpy(buffer, m_data.data() + m_at, count);
        m_at += count;
        return count;
    }

private:
    std::string m_data;
    size_t m_at = 0;
};

class bytes_sink final : public byte_sink {
public:
    void write(const void* buffer, size_t n, const abort_signal&) override {
        data.append(static_cast<const char*>(buffer), n);
    }
    std::string data;
};

std::string le32(uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

HWND make_window(HWND parent, DWORD style, int x, int y, int w, int h) {
    return CreateWindowExW(0, L"STATIC", L"placement", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
}

RECT client_on_screen(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

TEST_CASE("placement: stored form of six values; width and height alone are accepted") {
    window_placement_var var(kpl::guid{0x1, 0, 0, {0}}, g_private);
    abort_signal_never abort;
    bytes_source full(le32(400) + le32(300) + le32(10) + le32(static_cast<uint32_t>(-20)) + le32(96) + le32(96));
    var.set_data(full, 24, abort);
    CHECK(var.values().width == 400);
    CHECK(var.values().y == -20);
    CHECK(var.values().dpi_y == 96);
    bytes_source short_form(le32(200) + le32(100));
    var.set_data(short_form, 8, abort);
    CHECK(var.values().width == 200);
    CHECK(var.values().height == 100);
    CHECK(var.values().x == window_placement_values::unset_position);
    CHECK(var.values().dpi_x == 0);
    bytes_sink sink;
    var.get_data(sink, abort);
    CHECK(sink.data == le32(200) + le32(100) + le32(0x80000000u) + le32(0x80000000u) + le32(0) + le32(0));
}

TEST_CASE("placement: centred the first time, the offset kept from a moved parent, DPI and cascade") {
    window_placement_var var(kpl::guid{0x2, 0, 0, {0}}, g_private);
    HWND parent = make_window(nullptr, WS_POPUP | WS_VISIBLE, 100, 100, 400, 300);
    REQUIRE(parent != nullptr);
    const DWORD resizable = WS_POPUP | WS_THICKFRAME;
    HWND dialog = make_window(parent, resizable, 0, 0, 200, 100);
    REQUIRE(dialog != nullptr);

    RECT rect;
    UINT flags;
    REQUIRE(var.compute_rect(dialog, 96, rect, flags));
    RECT window_rect;
    GetWindowRect(dialog, &window_rect);
    const int w = window_rect.right - window_rect.left, h = window_rect.bottom - window_rect.top;
    CHECK(flags == (SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));  // nothing stored: position only
    CHECK(rect.left + w / 2 == doctest::Approx(300).epsilon(0.02));  // centred on the parent
    CHECK(rect.top + h / 2 == doctest::Approx(250).epsilon(0.02));

    // Moved and closed, then opened again beside a parent that has moved: the same offset.
    SetWindowPos(dialog, nullptr, 130, 140, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    window_placement_attachment attachment;
    var.on_window_message(dialog, WM_INITDIALOG, attachment);
    const RECT before = client_on_screen(dialog);
    var.forget_window(dialog);
    SetWindowPos(parent, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    REQUIRE(var.compute_rect(dialog, 96, rect, flags));
    CHECK(flags == (SWP_NOZORDER | SWP_NOACTIVATE));  // resizable: the size comes back too
    RECT parent_rect;
    GetWindowRect(parent, &parent_rect);
    RECT adjusted = {0, 0, 0, 0};
    AdjustWindowRectEx(&adjusted, resizable, FALSE, 0);
    CHECK(rect.left - adjusted.left - parent_rect.left == before.left - 100);
    CHECK(rect.top - adjusted.top - parent_rect.top == before.top - 100);

    // DPI from 96 to 144: a stored width of 400 comes back as 600.
    window_placement_values values = var.values();
    values.width = 400;
    values.dpi_x = values.dpi_y = 96;
    var.set_values(values);
    REQUIRE(var.compute_rect(dialog, 144, rect, flags));
    CHECK(var.values().width == 600);
    CHECK(var.values().dpi_x == 144);

    // A dialog without a sizing frame keeps its template size.
    HWND fixed = make_window(parent, WS_POPUP, 0, 0, 200, 100);
    REQUIRE(var.compute_rect(fixed, 144, rect, flags));
    CHECK(flags == (SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));

    // A visible window of the thread at the same corner: the new one moves by the caption height.
    window_placement_var fresh(kpl::guid{0x3, 0, 0, {0}}, g_private);
    REQUIRE(fresh.compute_rect(fixed, 96, rect, flags));
    HWND blocker = make_window(nullptr, WS_POPUP | WS_VISIBLE, rect.left, rect.top, 50, 50);
    RECT cascaded;
    REQUIRE(fresh.compute_rect(fixed, 96, cascaded, flags));
    const int step = std::max(1, GetSystemMetrics(SM_CYCAPTION));
    CHECK(cascaded.left == rect.left + step);
    CHECK(cascaded.top == rect.top + step);

    // A position off the parent's monitor is pulled back, left and top edges first.
    values = fresh.values();
    values.x = -5000;
    values.y = 5000;
    fresh.set_values(values);
    REQUIRE(fresh.compute_rect(fixed, 96, rect, flags));
    HMONITOR monitor = MonitorFromWindow(parent, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(monitor, &info);
    CHECK(rect.left == info.rcWork.left);
    CHECK(rect.bottom <= info.rcWork.bottom);

    DestroyWindow(blocker);
    DestroyWindow(fixed);
    DestroyWindow(dialog);
    DestroyWindow(parent);
}

TEST_CASE("enlarged font: 1.3 times the height, bold, never 0") {
    LOGFONTW base = {};
    base.lfHeight = -11;
    base.lfWeight = FW_NORMAL;
    wcscpy(base.lfFaceName, L"Tahoma");
    HFONT font = CreateFontIndirectW(&base);
    HFONT big = create_enlarged_font(font);
    LOGFONTW got = {};
    GetObjectW(big, sizeof(got), &got);
    CHECK(got.lfHeight == -14);  // floor(-14.3 + 0.5)
    CHECK(got.lfWeight == FW_BOLD);
    DeleteObject(big);
    DeleteObject(font);
}
