// The labelled separator paints its text in the colour its parent sets with a brush (a dark scheme's light
// text on black), and in the system's text colour when the parent answers no brush.
#include <doctest/doctest.h>

#include <windows.h>

#include "shell/separator_window.h"

namespace {

bool g_dark_parent = false;

LRESULT CALLBACK parent_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CTLCOLORSTATIC && g_dark_parent) {
        SetTextColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
        SetBkColor(reinterpret_cast<HDC>(wparam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(GetStockObject(BLACK_BRUSH));
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// The colours of the separator's text area painted into a bitmap: how many pixels are light and dark.
void count_text_pixels(HWND separator, int& light, int& dark) {
    RECT client;
    GetClientRect(separator, &client);
    HDC screen = GetDC(separator);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RedrawWindow(separator, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
    light = dark = 0;
    for (int y = 0; y < client.bottom; ++y)
        for (int x = 0; x < 30; ++x) {  // the first letters, well left of the line
            const COLORREF c = GetPixel(memory, x, y);
            const int level = (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3;
            if (level > 160) ++light;
            if (level < 96) ++dark;
        }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(separator, screen);
}

}  // namespace

TEST_CASE("separator: text in the colour its parent's brush answer sets") {
    register_separator_window_class();
    WNDCLASSW parent_class = {};
    parent_class.lpfnWndProc = &parent_procedure;
    parent_class.hInstance = GetModuleHandleW(nullptr);
    parent_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    parent_class.lpszClassName = L"separator test parent";
    RegisterClassW(&parent_class);
    HWND parent = CreateWindowExW(0, L"separator test parent", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 60, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    REQUIRE(parent != nullptr);
    HWND separator = CreateWindowExW(0, L"ketrel:separator", L"WWWWWWWW", WS_CHILD | WS_VISIBLE, 0, 0, 400, 40, parent,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
    REQUIRE(separator != nullptr);

    int light = 0, dark = 0;
    g_dark_parent = true;
    count_text_pixels(separator, light, dark);
    CHECK(dark > light);  // black paper
    CHECK(light > 20);    // white text on it
    g_dark_parent = false;
    count_text_pixels(separator, light, dark);
    CHECK(dark > 20);  // the system's text colour (dark) on the default paper

    DestroyWindow(parent);
    UnregisterClassW(L"separator test parent", GetModuleHandleW(nullptr));
}
