// PNG resources, the dark-scheme filters, button faces and icons, and the album picture of the side panel.
#include "ui/pictures.h"

#include <objidl.h>
#include <gdiplus.h>
#include <uxtheme.h>

#include <new>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/drawing.h"
#include "foundation/win32/png_resource.h"

namespace flat = Gdiplus::DllExports;

namespace {

// A GDI+ image made here (the wrapper takes the handle).
class made_image final : public gdiplus_image {
public:
    explicit made_image(void* image) { m_image = image; }
};

Gdiplus::GpBitmap* bitmap_of(gdiplus_image& image) { return static_cast<Gdiplus::GpBitmap*>(image.get()); }

template <class Filter>
void filter_image(gdiplus_image& image, Filter filter) {
    Gdiplus::GpRect all(0, 0, static_cast<INT>(image.width()), static_cast<INT>(image.height()));
    Gdiplus::BitmapData data = {};
    gdiplus_check(flat::GdipBitmapLockBits(bitmap_of(image), &all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite,
                                           PixelFormat32bppARGB, &data));
    for (UINT y = 0; y < data.Height; ++y)
        filter(reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride),
               static_cast<size_t>(data.Width));
    gdiplus_check(flat::GdipBitmapUnlockBits(bitmap_of(image), &data));
}

}  // namespace

namespace pictures {

RECT fit_picture(const RECT& panel, int margin, UINT picture_width, UINT picture_height) {
    RECT r = panel;
    InflateRect(&r, -margin, -margin);
    int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0 || picture_width == 0 || picture_height == 0) return r;
    double aspect = static_cast<double>(picture_width) / picture_height;
    if (static_cast<double>(width) / height > aspect) {
        int fitted = static_cast<int>(aspect * height + 0.5);
        if (fitted < width) {
            r.left += (width - fitted) / 2;
            r.right = r.left + fitted;
        }
    } else {
        int fitted = static_cast<int>(width / aspect + 0.5);
        if (fitted < height) {
            r.top += (height - fitted) / 2;
            r.bottom = r.top + fitted;
        }
    }
    return r;
}

int button_icon_size(const RECT& client) { return ::button_icon_size(client); }

int button_icon_size(HWND window) { return ::button_icon_size(window); }

void fade_pixels(uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t alpha = (pixels[i] >> 24) / 3;
        pixels[i] = (pixels[i] & 0x00FFFFFFu) | (alpha << 24);
    }
}

void invert_grey_pixels(uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t p = pixels[i];
        uint32_t grey = 255 - (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
        pixels[i] = (p & 0xFF000000u) | (grey << 16) | (grey << 8) | grey;
    }
}

void fade(gdiplus_image& image) { filter_image(image, &fade_pixels); }
void invert_grey(gdiplus_image& image) { filter_image(image, &invert_grey_pixels); }

std::unique_ptr<gdiplus_image> load_png_resource(int id) { return png_resource_image(id); }

std::unique_ptr<gdiplus_image> load_png_scaled(int id, int width, int height) {
    return png_resource_scaled(id, width, height);
}

HICON icon_of(gdiplus_image& image) { return gdiplus_icon_of(image); }

HICON png_icon(int id, int width, int height) { return png_resource_icon(id, width, height); }

std::unique_ptr<gdiplus_image> render_button_face(HWND button, int state, int width, int height, bool dark) {
    try {
        std::unique_ptr<gdiplus_image> face = gdiplus_argb_bitmap(width, height);
        Gdiplus::GpGraphics* graphics = nullptr;
        gdiplus_check(flat::GdipGetImageGraphicsContext(static_cast<Gdiplus::GpImage*>(face->get()), &graphics));
        HDC dc = nullptr;
        int status = flat::GdipGetDC(graphics, &dc);
        if (status == 0) {
            paint_parent_background(button, dc);
            RECT all = {0, 0, width, height};
            static const int k_theme_states[4] = {1, 3, 4, 2};
            int s = state < 0 || state > 3 ? 0 : state;
            HTHEME theme = OpenThemeData(button, dark ? L"BUTTON" : L"TOOLBAR");
            if (theme != nullptr && IsThemePartDefined(theme, 1, 0)) {
                DrawThemeBackground(theme, dc, 1, k_theme_states[s], &all, nullptr);
            } else {
                UINT flags = DFCS_BUTTONPUSH | (s == 1 ? DFCS_PUSHED : s == 2 ? DFCS_INACTIVE : 0);
                DrawFrameControl(dc, &all, DFC_BUTTON, flags);
            }
            if (theme != nullptr) CloseThemeData(theme);
            flat::GdipReleaseDC(graphics, dc);
        }
        flat::GdipDeleteGraphics(graphics);
        gdiplus_check(status);
        if (dark) fade(*face);
        return face;
    } catch (...) {
        return nullptr;
    }
}

gdiplus_image* image_cache::face(HWND button, int state, int width, int height, bool dark) {
    if (state < 0 || state > 3) return nullptr;
    std::unique_ptr<gdiplus_image>& slot = m_faces[std::make_pair(width, height)][static_cast<size_t>(state)];
    if (!slot) {
        slot = render_button_face(button, state, width, height, dark);
        ++m_faces_made;
    }
    return slot.get();
}

gdiplus_image* image_cache::icon(uint32_t id, int width, int height, bool dark) {
    auto key = std::make_tuple(id, width, height);
    auto found = m_icons.find(key);
    if (found != m_icons.end()) return found->second.get();
    std::unique_ptr<gdiplus_image>& slot = m_icons[key];
    try {
        std::unique_ptr<gdiplus_image> image = load_png_scaled(static_cast<int>(id & ~greyed_flag), width, height);
        if (dark) invert_grey(*image);
        if (id & greyed_flag) fade(*image);
        slot = std::move(image);
    } catch (...) {
        slot.reset();  // stays empty: the icon is not drawn
    }
    return slot.get();
}

void image_cache::clear() {
    m_faces.clear();
    m_icons.clear();
}

}  // namespace pictures

album_picture::~album_picture() { drop(); }

void album_picture::drop_rendered() {
    if (m_rendered != nullptr) DeleteObject(m_rendered);
    m_rendered = nullptr;
}

void album_picture::drop() {
    drop_rendered();
    m_picture.reset();
    if (m_stream != nullptr) m_stream->Release();
    m_stream = nullptr;
}

namespace {

// The file's bytes in movable global memory (a stream over it frees it on release).
HGLOBAL read_picture_file(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw_win32_io_error(GetLastError());
    struct closer {
        HANDLE h;
        ~closer() { CloseHandle(h); }
    } close_file{file};
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) throw_win32_io_error(GetLastError());
    if (size.QuadPart < 0 || static_cast<uint64_t>(size.QuadPart) > pictures::album_picture_limit)
        throw ketrel_io::exception_io_data();
    DWORD bytes = static_cast<DWORD>(size.QuadPart);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) throw std::bad_alloc();
    void* at = GlobalLock(memory);
    if (at == nullptr) {
        GlobalFree(memory);
        throw std::bad_alloc();
    }
    DWORD read = 0;
    BOOL ok = ReadFile(file, at, bytes, &read, nullptr);
    DWORD error = GetLastError();
    GlobalUnlock(memory);
    if (!ok) {
        GlobalFree(memory);
        throw_win32_io_error(error);
    }
    if (read != bytes) {
        GlobalFree(memory);
        throw ketrel_io::exception_io_data();
    }
    return memory;
}

}  // namespace

bool album_picture::load(const wchar_t* path) {
    drop();
    try {
        HGLOBAL memory = read_picture_file(path);
        IStream* stream = nullptr;
        HRESULT hr = CreateStreamOnHGlobal(memory, TRUE, &stream);
        if (FAILED(hr)) {
            GlobalFree(memory);
            throw exception_com(hr);
        }
        m_stream = stream;
        Gdiplus::GpImage* image = nullptr;
        Gdiplus::GpStatus status = flat::GdipLoadImageFromStream(stream, &image);
        if (status == Gdiplus::InvalidParameter) throw ketrel_io::exception_io_data();
        gdiplus_check(status);
        m_picture.reset(new made_image(image));
        return true;
    } catch (...) {
        drop();
        return false;
    }
}

bool album_picture::render(HDC dc, int width, int height, COLORREF background, COLORREF foreground, int margin) {
    drop_rendered();
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen != nullptr ? screen : dc, width, height);
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    if (bitmap == nullptr) return false;
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) {
        DeleteObject(bitmap);
        return false;
    }
    HGDIOBJ previous = SelectObject(memory, bitmap);
    RECT all = {0, 0, width, height};
    gradient_fill_split(80, all, memory, background, color_mix_half(foreground, background));
    RECT fitted = pictures::fit_picture(all, margin, m_picture->width(), m_picture->height());
    bool drawn = false;
    Gdiplus::GpGraphics* graphics = nullptr;
    if (flat::GdipCreateFromHDC(memory, &graphics) == Gdiplus::Ok) {
        flat::GdipSetSmoothingMode(graphics, Gdiplus::SmoothingModeHighQuality);
        flat::GdipSetCompositingMode(graphics, Gdiplus::CompositingModeSourceOver);
        drawn = flat::GdipDrawImageRectI(graphics, static_cast<Gdiplus::GpImage*>(m_picture->get()), fitted.left,
                                         fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top) ==
                Gdiplus::Ok;
        flat::GdipDeleteGraphics(graphics);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    if (!drawn) {
        DeleteObject(bitmap);
        return false;
    }
    m_rendered = bitmap;
    m_width = width;
    m_height = height;
    m_background = background;
    m_foreground = foreground;
    m_margin = margin;
    ++m_renders;
    return true;
}

void album_picture::draw_side_panel(HDC dc, const RECT& panel, const RECT& paint, int margin) {
    if (!m_picture) {
        ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &paint, nullptr, 0, nullptr);
        return;
    }
    int width = panel.right - panel.left, height = panel.bottom - panel.top;
    if (width <= 0 || height <= 0) return;
    COLORREF background = GetBkColor(dc), foreground = GetTextColor(dc);
    if (m_rendered == nullptr || width != m_width || height != m_height || background != m_background ||
        foreground != m_foreground || margin != m_margin) {
        if (!render(dc, width, height, background, foreground, margin)) return;
    }
    RECT part;
    if (!IntersectRect(&part, &panel, &paint)) return;
    HDC memory = CreateCompatibleDC(dc);
    if (memory == nullptr) return;
    HGDIOBJ previous = SelectObject(memory, m_rendered);
    BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory, part.left - panel.left,
           part.top - panel.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
}
