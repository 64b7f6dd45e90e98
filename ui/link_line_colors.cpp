// SysLink lines painted in the colour scheme's colours (ui/link_line_colors.h).
#include "ui/link_line_colors.h"

#include <algorithm>

#include "shell/crash_handler.h"

namespace link_line_colors {

namespace {

WNDPROC g_original = nullptr;
color_source g_source = nullptr;
void* g_context = nullptr;
bool g_offscreen = false;

uint32_t blend(uint32_t background, uint32_t ink, uint32_t share) {  // share 0..255 of ink over background
    return (background * (255 - share) + ink * share + 127) / 255;
}

void paint(HWND line, HDC target, const colors& scheme) {
    RECT client;
    GetClientRect(line, &client);
    const int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(target, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = bitmap != nullptr ? CreateCompatibleDC(target) : nullptr;
    if (memory == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        HBRUSH brush = CreateSolidBrush(scheme.background);
        FillRect(target, &client, brush);
        DeleteObject(brush);
        return;
    }
    HGDIOBJ old = SelectObject(memory, bitmap);
    FillRect(memory, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    g_offscreen = true;
    CallWindowProcW(g_original, line, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    g_offscreen = false;
    GdiFlush();
    uint32_t* pixel = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) pixel[i] = recolor(pixel[i], scheme);
    BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

LRESULT CALLBACK procedure(HWND line, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        if ((message == WM_PAINT || message == WM_ERASEBKGND || message == WM_PRINTCLIENT) && g_source != nullptr) {
            const colors scheme = g_source(g_context);
            if (scheme.active) {
                if (message == WM_ERASEBKGND) return 1;  // the paint covers every pixel
                if (message == WM_PRINTCLIENT) {
                    paint(line, reinterpret_cast<HDC>(wparam), scheme);
                    return 0;
                }
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(line, &ps);
                if (dc != nullptr) paint(line, dc, scheme);
                EndPaint(line, &ps);
                return 0;
            }
        }
        return CallWindowProcW(g_original, line, message, wparam, lparam);
    } catch (...) {
        crash_from_callback();
    }
}

}  // namespace

void attach(HWND line, color_source source, void* context) {
    if (line == nullptr) return;
    g_source = source;
    g_context = context;
    const WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(line, GWLP_WNDPROC));
    if (current == &procedure) return;
    if (g_original == nullptr) g_original = current;
    SetWindowLongPtrW(line, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
}

bool painting_offscreen() { return g_offscreen; }

uint32_t recolor(uint32_t pixel, const colors& scheme) {
    const uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    const uint32_t low = std::min({r, g, b}), high = std::max({r, g, b});
    const uint32_t share = 255 - low;
    const COLORREF ink = (share > 0 && (high - low) * 4 > share) ? scheme.link : scheme.text;
    const COLORREF paper = scheme.background;
    // COLORREF is 0x00BBGGRR; the DIB pixel 0x00RRGGBB.
    const uint32_t out_r = blend(GetRValue(paper), GetRValue(ink), share);
    const uint32_t out_g = blend(GetGValue(paper), GetGValue(ink), share);
    const uint32_t out_b = blend(GetBValue(paper), GetBValue(ink), share);
    return (out_r << 16) | (out_g << 8) | out_b;
}

}  // namespace link_line_colors
