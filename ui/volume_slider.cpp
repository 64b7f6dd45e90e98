// The VolumeSlider window class: dragging, the trackbar messages and the wedge painting.
#include "ui/volume_slider.h"

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <uxtheme.h>
#include <vssym32.h>

#include "foundation/win32/control_class.h"
#include "foundation/win32/drawing.h"
#include "foundation/win32/gdiplus.h"
#include "ui/color_scheme.h"
#include "ui/volume_scale.h"

namespace volume_slider {
namespace {

namespace flat = Gdiplus::DllExports;

struct state {
    explicit state(HWND w) : window(w) {
        try {
            gdiplus = gdiplus_startup();
        } catch (...) {
            gdiplus = 0;  // the wedge is simply not drawn
        }
    }
    ~state() { gdiplus_shutdown(gdiplus); }
    state(const state&) = delete;
    state& operator=(const state&) = delete;

    HWND window;
    bool dragging = false;
    int position = 0;
    int range_min = 0;
    int range_max = 100;
    ULONG_PTR gdiplus = 0;
};

COLORREF wedge_color() {
    uint32_t index = color_scheme::index_of(color_scheme::current());
    if (index == 1) return 0xFFFFFF;
    if (index == 2 || index == 3) return 0x000000;
    return GetSysColor(COLOR_WINDOWTEXT);
}

void draw_wedge(HDC dc, const RECT& track) {
    Gdiplus::GpGraphics* graphics = nullptr;
    if (flat::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) return;
    flat::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeHighQuality);
    COLORREF c = wedge_color();
    Gdiplus::ARGB argb = 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(c)) << 16) |
                         (static_cast<Gdiplus::ARGB>(GetGValue(c)) << 8) | GetBValue(c);
    Gdiplus::GpPen* pen = nullptr;
    if (flat::GdipCreatePen1(argb, 1.0f, Gdiplus::UnitPixel, &pen) == Gdiplus::Ok) {
        int l = track.left, t = track.top, r = track.right, b = track.bottom;
        flat::GdipDrawLineI(graphics, pen, l, b, l + 1, b);
        flat::GdipDrawLineI(graphics, pen, l, b, l, t);
        flat::GdipDrawLineI(graphics, pen, l, t, r, t);
        flat::GdipDrawLineI(graphics, pen, r, t, l + 1, b);
        flat::GdipDeletePen(pen);
    }
    flat::GdipDeleteGraphics(graphics);
}

void paint(state& s) {
    PAINTSTRUCT ps;
    HDC target = BeginPaint(s.window, &ps);
    if (target == nullptr) return;
    RECT client;
    GetClientRect(s.window, &client);
    memory_dc buffer;
    HDC dc = buffer.begin(client, target) ? buffer.dc() : target;
    paint_parent_background(s.window, dc);
    int width = client.right - client.left;
    RECT track = client;
    InflateRect(&track, -(width / 4), -(width / 3));
    if (track.bottom > track.top) {
        HTHEME theme = OpenThemeData(s.window, L"Trackbar");
        draw_wedge(dc, track);
        RECT thumb;
        if (volume_scale::thumb_rect(s.position, client, s.range_min, s.range_max, thumb)) {
            bool disabled = !IsWindowEnabled(s.window);
            if (theme != nullptr) {
                int part_state = disabled ? TUS_DISABLED : s.dragging ? TUS_PRESSED : TUS_NORMAL;
                DrawThemeBackground(theme, dc, TKP_THUMB, part_state, &thumb, nullptr);
            } else {
                UINT flags = DFCS_BUTTONPUSH | (disabled ? DFCS_INACTIVE : s.dragging ? DFCS_PUSHED : 0);
                DrawFrameControl(dc, &thumb, DFC_BUTTON, flags);
            }
        }
        if (theme != nullptr) CloseThemeData(theme);
    }
    if (dc != target) buffer.finish();
    EndPaint(s.window, &ps);
}

void move_to_point(state& s, LPARAM lparam) {
    RECT client;
    GetClientRect(s.window, &client);
    int position;
    if (!volume_scale::position_from_point(static_cast<short>(HIWORD(lparam)), client, s.range_min, s.range_max,
                                           position))
        return;
    s.position = position;
    InvalidateRect(s.window, nullptr, FALSE);
    HWND parent = GetParent(s.window);
    if (parent != nullptr)
        PostMessageW(parent, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(position)),
                     reinterpret_cast<LPARAM>(s.window));
}

void stop_dragging(state& s, LPARAM lparam) {
    move_to_point(s, lparam);
    s.dragging = false;
    ReleaseCapture();
    InvalidateRect(s.window, nullptr, FALSE);
}

LRESULT handle(state& s, HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT:
        paint(s);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
        s.dragging = true;
        SetCapture(window);
        move_to_point(s, lparam);
        return 0;
    case WM_MOUSEMOVE:
        if (s.dragging) move_to_point(s, lparam);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
        if (s.dragging) stop_dragging(s, lparam);
        return 0;
    case WM_CAPTURECHANGED:
        if (s.dragging && reinterpret_cast<HWND>(lparam) != window) {
            s.dragging = false;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case TBM_GETPOS:
        return s.position;
    case TBM_SETPOS:
        s.position = static_cast<int>(lparam);
        if (wparam) InvalidateRect(window, nullptr, FALSE);
        return 0;
    case TBM_SETRANGE:
        s.range_min = static_cast<short>(LOWORD(lparam));
        s.range_max = static_cast<short>(HIWORD(lparam));
        if (wparam) InvalidateRect(window, nullptr, FALSE);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

ATOM g_atom = 0;

}  // namespace

ATOM register_class() { return register_control_class(class_name, &control_procedure<state, &handle>, g_atom); }

}  // namespace volume_slider
