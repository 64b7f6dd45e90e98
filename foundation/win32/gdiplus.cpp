#include "foundation/win32/gdiplus.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>

namespace flat = Gdiplus::DllExports;

exception_gdiplus::exception_gdiplus(int status) noexcept : m_status(status) {
    std::snprintf(m_text, sizeof(m_text), "Gdiplus error (%d)", status);
}

void gdiplus_check(int status) {
    if (status != 0) throw exception_gdiplus(status);
}

ULONG_PTR gdiplus_startup() {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    ULONG_PTR token = 0;
    gdiplus_check(Gdiplus::GdiplusStartup(&token, &input, nullptr));
    return token;
}

void gdiplus_shutdown(ULONG_PTR token) {
    if (token != 0) Gdiplus::GdiplusShutdown(token);
}

gdiplus_image::~gdiplus_image() {
    if (m_image != nullptr) flat::GdipDisposeImage(static_cast<Gdiplus::GpImage*>(m_image));
}

gdiplus_image* gdiplus_image::clone() const {
    gdiplus_image* copy = new gdiplus_image;
    if (m_image == nullptr) {
        copy->m_status = Gdiplus::InvalidParameter;
        return copy;
    }
    Gdiplus::GpImage* cloned = nullptr;
    copy->m_status = flat::GdipCloneImage(static_cast<Gdiplus::GpImage*>(m_image), &cloned);
    copy->m_image = cloned;
    return copy;
}

UINT gdiplus_image::width() const {
    UINT value = 0;
    if (m_image != nullptr) flat::GdipGetImageWidth(static_cast<Gdiplus::GpImage*>(m_image), &value);
    return value;
}

UINT gdiplus_image::height() const {
    UINT value = 0;
    if (m_image != nullptr) flat::GdipGetImageHeight(static_cast<Gdiplus::GpImage*>(m_image), &value);
    return value;
}

UINT gdiplus_image::pixel_format() const {
    Gdiplus::PixelFormat value = 0;
    if (m_image != nullptr) flat::GdipGetImagePixelFormat(static_cast<Gdiplus::GpImage*>(m_image), &value);
    return static_cast<UINT>(value);
}

gdiplus_bitmap::gdiplus_bitmap(IStream* stream) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    m_status = flat::GdipCreateBitmapFromStream(stream, &bitmap);
    m_image = bitmap;
    if (m_status == 0 && bitmap == nullptr) m_status = Gdiplus::GenericError;
}

gdiplus_graphics::gdiplus_graphics(HDC dc) {
    Gdiplus::GpGraphics* graphics = nullptr;
    m_status = flat::GdipCreateFromHDC(dc, &graphics);
    m_graphics = graphics;
}

gdiplus_graphics::~gdiplus_graphics() {
    if (m_graphics != nullptr) flat::GdipDeleteGraphics(static_cast<Gdiplus::GpGraphics*>(m_graphics));
}

void gdiplus_graphics::set_quality(int compositing_quality, int interpolation_mode) {
    if (m_graphics == nullptr) return;
    auto* graphics = static_cast<Gdiplus::GpGraphics*>(m_graphics);
    int status = flat::GdipSetCompositingQuality(graphics, static_cast<Gdiplus::CompositingQuality>(compositing_quality));
    if (status != 0) m_status = status;
    status = flat::GdipSetInterpolationMode(graphics, static_cast<Gdiplus::InterpolationMode>(interpolation_mode));
    if (status != 0) m_status = status;
}

void gdiplus_graphics::draw_image_rect(const gdiplus_image& image, const RECT& rect) {
    if (m_graphics == nullptr || image.get() == nullptr) {
        m_status = Gdiplus::InvalidParameter;
        return;
    }
    const int status = flat::GdipDrawImageRectI(static_cast<Gdiplus::GpGraphics*>(m_graphics),
                                                static_cast<Gdiplus::GpImage*>(image.get()), rect.left, rect.top,
                                                rect.right - rect.left, rect.bottom - rect.top);
    if (status != 0) m_status = status;
}
