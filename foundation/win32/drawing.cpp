#include "foundation/win32/drawing.h"

#include <uxtheme.h>

#include <cmath>

namespace {

int mix_channel(int a, int b) { return a + MulDiv(b - a, 50, 100); }

TRIVERTEX vertex(int x, int y, COLORREF colour) {
    TRIVERTEX v = {};
    v.x = x;
    v.y = y;
    v.Red = static_cast<COLOR16>(GetRValue(colour) << 8);
    v.Green = static_cast<COLOR16>(GetGValue(colour) << 8);
    v.Blue = static_cast<COLOR16>(GetBValue(colour) << 8);
    v.Alpha = 0;
    return v;
}

}  // namespace

COLORREF color_mix_half(COLORREF a, COLORREF b) {
    return RGB(mix_channel(GetRValue(a), GetRValue(b)), mix_channel(GetGValue(a), GetGValue(b)),
               mix_channel(GetBValue(a), GetBValue(b)));
}

void gradient_fill_vertical(COLORREF top, COLORREF bottom, HDC dc, const RECT& rect) {
    TRIVERTEX vertices[2] = {vertex(rect.left, rect.top, top), vertex(rect.right, rect.bottom, bottom)};
    GRADIENT_RECT part = {0, 1};
    GradientFill(dc, vertices, 2, &part, 1, GRADIENT_FILL_RECT_V);
}

int gradient_split_row(int percent, const RECT& rect) {
    return rect.top + MulDiv(rect.bottom - rect.top, percent, 100);
}

void gradient_fill_split(int percent, const RECT& rect, HDC dc, COLORREF a, COLORREF b) {
    const int split = gradient_split_row(percent, rect);
    gradient_fill_vertical(a, b, dc, RECT{rect.left, rect.top, rect.right, split});
    gradient_fill_vertical(b, a, dc, RECT{rect.left, split, rect.right, rect.bottom});
}

UINT button_face_frame_flags(int state) {
    UINT flags = DFCS_BUTTONPUSH;
    if (state == 3) flags |= DFCS_PUSHED;
    else if (state == 5) flags |= DFCS_INACTIVE;
    return flags;
}

void draw_button_face(const RECT& rect, int state, HDC dc, const RECT* clip, HANDLE theme) {
    if (theme != nullptr) {
        DrawThemeBackground(static_cast<HTHEME>(theme), dc, 3, state, &rect, clip);
        return;
    }
    RECT face = rect;
    DrawFrameControl(dc, &face, DFC_BUTTON, button_face_frame_flags(state));
}

bool memory_dc::begin(const RECT& rect, HDC target) {
    release();
    m_target = target;
    m_rect = rect;
    m_dc = CreateCompatibleDC(target);
    if (m_dc == nullptr) return false;
    m_bitmap = CreateCompatibleBitmap(target, rect.right - rect.left, rect.bottom - rect.top);
    if (m_bitmap == nullptr) {
        release();
        return false;
    }
    m_previous = SelectObject(m_dc, m_bitmap);
    SetViewportOrgEx(m_dc, -rect.left, -rect.top, nullptr);
    return true;
}

void memory_dc::finish() {
    if (m_dc == nullptr) return;
    SetViewportOrgEx(m_dc, 0, 0, nullptr);
    BitBlt(m_target, m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, m_dc, 0, 0,
           SRCCOPY);
    release();
}

void memory_dc::release() {
    if (m_dc != nullptr && m_previous != nullptr) SelectObject(m_dc, m_previous);
    m_previous = nullptr;
    if (m_bitmap != nullptr) DeleteObject(m_bitmap);
    m_bitmap = nullptr;
    if (m_dc != nullptr) DeleteDC(m_dc);
    m_dc = nullptr;
}

void paint_parent_background(HWND child, HDC dc) {
    HWND parent = GetParent(child);
    if (parent == nullptr) return;
    POINT origin = {0, 0};
    MapWindowPoints(child, parent, &origin, 1);
    POINT previous;
    OffsetViewportOrgEx(dc, -origin.x, -origin.y, &previous);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);
}

HFONT create_scaled_bold_font(HFONT font, double scale) {
    LOGFONTW description = {};
    if (!font || GetObjectW(font, sizeof(description), &description) == 0) return nullptr;
    const LONG height = description.lfHeight;
    LONG scaled = static_cast<LONG>(std::floor(height * scale + 0.5));
    if (scaled == 0) scaled = height < 0 ? -1 : 1;
    description.lfHeight = scaled;
    description.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&description);
}
