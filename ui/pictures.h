#pragma once
// The main window's picture work, done with GDI+ (started by the caller): PNG resources at a size, the two
// filters for dark colour schemes, the album picture of the side panel and the transport buttons' faces and
// icons.
//
//     auto play = pictures::load_png_scaled(IDR_PNG_PLAY, 24, 24);     // 32-bit ARGB, throws on failure
//     if (color_scheme::is_dark_background()) pictures::invert_grey(*play);
//     HICON icon = pictures::png_icon(IDR_PNG_ROW_TRACK, 16, 16);     // null on any failure
//
//     album_picture panel;
//     if (panel.load(L"C:\\Music\\Album\\cover.jpg")) ...               // false: no panel, no error shown
//     panel.draw_side_panel(dc, panel_rect, paint_rect, 8);              // rendered once per size and colours
//
// Main thread only.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <array>
#include <map>
#include <memory>
#include <tuple>

#include "foundation/win32/gdiplus.h"

struct IStream;

namespace pictures {

// The largest album picture file read (16 MiB).
constexpr uint64_t album_picture_limit = 0x1000000;
// The greyed flag of an icon id in the icon cache.
constexpr uint32_t greyed_flag = 0x80000000u;

// The picture rectangle inside a panel: the panel shrunk by the margin, then narrowed (width floor(aspect x
// height + 0.5), centred) or lowered (height floor(width / aspect + 0.5), centred) to the picture's aspect;
// a side only ever shrinks; an empty rectangle or picture leaves the shrunk rectangle as it is.
RECT fit_picture(const RECT& panel, int margin, UINT picture_width, UINT picture_height);
// Both sides of a button icon: MulDiv(the client rectangle's smaller side, 3, 4), at least 8.
int button_icon_size(const RECT& client);
int button_icon_size(HWND window);

// The filters over 32-bit ARGB pixels: fade divides alpha by 3; invert_grey turns each pixel into the grey
// 255 - (R + G + B) / 3, alpha unchanged.
void fade_pixels(uint32_t* pixels, size_t count);
void invert_grey_pixels(uint32_t* pixels, size_t count);
// The same over a whole GDI+ bitmap (locked for reading and writing); GDI+ failures throw exception_gdiplus.
void fade(gdiplus_image& image);
void invert_grey(gdiplus_image& image);

// The program's PNG resource `id`; a missing one throws kpl::exception_bug_check, GDI+ failures
// exception_gdiplus.
std::unique_ptr<gdiplus_image> load_png_resource(int id);
// A new width x height ARGB bitmap with the PNG drawn stretched over it (high-quality interpolation).
std::unique_ptr<gdiplus_image> load_png_scaled(int id, int width, int height);
// An icon of load_png_scaled; null on any failure. The caller destroys it.
HICON png_icon(int id, int width, int height);
// An icon of an ARGB bitmap; null on failure.
HICON icon_of(gdiplus_image& image);

// Renders one face of a button of width x height into a new ARGB bitmap: the parent's background, then the
// "BUTTON" (dark background) or "TOOLBAR" theme's part 1 in the state's theme state (state 0 normal, 1
// pressed or checked, 2 disabled, 3 hot), or DrawFrameControl without a theme; faded under a dark
// background. Null when GDI+ fails.
std::unique_ptr<gdiplus_image> render_button_face(HWND button, int state, int width, int height, bool dark);

// The button faces and icons made so far; emptied when the colour scheme changes.
class image_cache {
public:
    // The face of the button's size and state, made on first use (null when it failed).
    gdiplus_image* face(HWND button, int state, int width, int height, bool dark);
    // The icon `id` (with greyed_flag: faded) at width x height, inverted to grey under a dark background,
    // made on first use; an id whose image failed stays empty (null).
    gdiplus_image* icon(uint32_t id, int width, int height, bool dark);
    void clear();
    size_t faces_made() const { return m_faces_made; }

private:
    std::map<std::pair<int, int>, std::array<std::unique_ptr<gdiplus_image>, 4>> m_faces;
    std::map<std::tuple<uint32_t, int, int>, std::unique_ptr<gdiplus_image>> m_icons;
    size_t m_faces_made = 0;
};

}  // namespace pictures

// The side panel's album picture and the bitmap it was last rendered into.
class album_picture {
public:
    album_picture() = default;
    ~album_picture();
    album_picture(const album_picture&) = delete;
    album_picture& operator=(const album_picture&) = delete;

    // Drops what was loaded, then reads the file (at most 16 MiB) and decodes it. False, with nothing loaded,
    // for a file that cannot be opened or read in full, is too large or holds no picture.
    bool load(const wchar_t* path);
    bool has_picture() const { return m_picture != nullptr; }
    void drop();
    // Paints the part of the panel inside `paint`: with no picture the DC's background colour; otherwise the
    // picture fitted on a gradient of the DC's background and text colours, rendered when size, colours or
    // margin changed and then only copied.
    void draw_side_panel(HDC dc, const RECT& panel, const RECT& paint, int margin);
    // How many times the panel was rendered (not merely copied).
    unsigned renders() const { return m_renders; }

private:
    void drop_rendered();
    bool render(HDC dc, int width, int height, COLORREF background, COLORREF foreground, int margin);

    HBITMAP m_rendered = nullptr;
    int m_width = 0;
    int m_height = 0;
    COLORREF m_background = 0;
    COLORREF m_foreground = 0;
    int m_margin = 0;
    std::unique_ptr<gdiplus_image> m_picture;
    // GDI+ reads a loaded image's stream for as long as the image lives: the stream is kept with it.
    IStream* m_stream = nullptr;
    unsigned m_renders = 0;
};
