#pragma once
// Small drawing helpers shared by the program's painted controls, and holders of GDI resources.
//
//   color_mix_half(RGB(0, 0, 0), RGB(255, 255, 255));          // RGB(128, 128, 128)
//   gradient_fill_vertical(RGB(250, 250, 250), RGB(220, 220, 220), dc, rect);
//   memory_dc buffer;
//   buffer.begin(rect, dc);                                    // draw into buffer.dc() with dc's coordinates
//   ...
//   buffer.finish();                                           // copied to dc in one blit

#include <windows.h>

// Per channel of the 24-bit RGB values: a + MulDiv(b - a, 50, 100).
COLORREF color_mix_half(COLORREF a, COLORREF b);
// GradientFill from the top colour to the bottom colour over the rectangle.
void gradient_fill_vertical(COLORREF top, COLORREF bottom, HDC dc, const RECT& rect);
// The band above top + MulDiv(height, percent, 100) goes from a at the top to b; the band below from b back
// to a at the bottom.
void gradient_fill_split(int percent, const RECT& rect, HDC dc, COLORREF a, COLORREF b);
// The split row of gradient_fill_split.
int gradient_split_row(int percent, const RECT& rect);
// A push button's face: with a theme, its background for the state; without, DrawFrameControl (state 3:
// pushed; state 5: inactive).
void draw_button_face(const RECT& rect, int state, HDC dc, const RECT* clip, HANDLE theme);
// The DrawFrameControl flags draw_button_face uses for a state.
UINT button_face_frame_flags(int state);
// A bold copy of the font with its height x `scale` (rounded; never 0); null when the font cannot be read.
// The caller deletes it.
HFONT create_scaled_bold_font(HFONT font, double scale);
// The parent paints its background into the child's DC, moved to the child's place (nothing without a
// parent): how a painted control looks transparent.
void paint_parent_background(HWND child, HDC dc);

// Off-screen drawing: begin makes a compatible DC and bitmap of the rectangle's size whose origin is moved
// so that drawing uses the target's coordinates; finish copies the rectangle to the target and frees both.
class memory_dc {
public:
    memory_dc() = default;
    ~memory_dc() { release(); }
    memory_dc(const memory_dc&) = delete;
    memory_dc& operator=(const memory_dc&) = delete;

    bool begin(const RECT& rect, HDC target);
    void finish();
    // Frees without copying.
    void release();
    HDC dc() const { return m_dc; }

private:
    HDC m_target = nullptr;
    HDC m_dc = nullptr;
    RECT m_rect = {0, 0, 0, 0};
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
};

// A held GDI object: release deletes it and clears the holder only when the deletion succeeded.
class gdi_handle {
public:
    explicit gdi_handle(HGDIOBJ object = nullptr) : m_object(object) {}
    ~gdi_handle() { release(); }
    gdi_handle(const gdi_handle&) = delete;
    gdi_handle& operator=(const gdi_handle&) = delete;
    void release() {
        if (m_object != nullptr && DeleteObject(m_object)) m_object = nullptr;
    }
    void reset(HGDIOBJ object) {
        release();
        m_object = object;
    }
    HGDIOBJ get() const { return m_object; }

private:
    HGDIOBJ m_object;
};

// BeginPaint / EndPaint as a scope.
class paint_scope {
public:
    explicit paint_scope(HWND window) : m_window(window) { m_dc = BeginPaint(window, &m_paint); }
    ~paint_scope() { end(); }
    paint_scope(const paint_scope&) = delete;
    paint_scope& operator=(const paint_scope&) = delete;
    void end() {
        if (m_window != nullptr) EndPaint(m_window, &m_paint);
        m_window = nullptr;
    }
    HDC dc() const { return m_dc; }
    const PAINTSTRUCT& paint() const { return m_paint; }

private:
    HWND m_window;
    HDC m_dc;
    PAINTSTRUCT m_paint;
};
