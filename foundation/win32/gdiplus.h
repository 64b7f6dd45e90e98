#pragma once
// GDI+ through its flat interface: start-up, decoded pictures and drawing them scaled.
//
//   gdiplus_token gdiplus;                              // GdiplusStartup; shut down when it goes
//   gdiplus_bitmap picture(stream);                     // decodes a PNG, JPEG, ... from an IStream
//   gdiplus_check(picture.status());                    // "Gdiplus error (2)" for a bad stream
//   gdiplus_graphics graphics(dc);
//   graphics.set_quality(2, 2);                         // high-quality compositing and interpolation
//   graphics.draw_image_rect(picture, {0, 0, 64, 64});
//   gdiplus_check(graphics.status());
//
// Every wrapper keeps the last non-zero status of its calls; call sites turn statuses into exceptions
// through gdiplus_check.

#include <windows.h>

#include <exception>

struct IStream;

// A GDI+ failure: "Gdiplus error (" + status + ")".
class exception_gdiplus : public std::exception {
public:
    explicit exception_gdiplus(int status) noexcept;
    const char* what() const noexcept override { return m_text; }
    int status() const noexcept { return m_status; }

private:
    int m_status;
    char m_text[32];
};

// Throws exception_gdiplus for a non-zero status; nothing for 0.
void gdiplus_check(int status);

// GdiplusStartup (version 1, no debug callback), checked through gdiplus_check; its token.
ULONG_PTR gdiplus_startup();
void gdiplus_shutdown(ULONG_PTR token);

// The start-up token as a scope.
class gdiplus_token {
public:
    gdiplus_token() : m_token(gdiplus_startup()) {}
    ~gdiplus_token() { gdiplus_shutdown(m_token); }
    gdiplus_token(const gdiplus_token&) = delete;
    gdiplus_token& operator=(const gdiplus_token&) = delete;

private:
    ULONG_PTR m_token;
};

class gdiplus_image {
public:
    gdiplus_image() = default;
    virtual ~gdiplus_image();
    gdiplus_image(const gdiplus_image&) = delete;
    gdiplus_image& operator=(const gdiplus_image&) = delete;

    // A new wrapper over a copy of the image (GdipCloneImage); a failure becomes the copy's status.
    gdiplus_image* clone() const;
    // The GDI+ image (GpImage*), null when none.
    void* get() const { return m_image; }
    int status() const { return m_status; }
    // Width and height in pixels (0 when unknown).
    UINT width() const;
    UINT height() const;
    // The GDI+ pixel format (bits per pixel in bits 8-15), 0 when unknown.
    UINT pixel_format() const;

protected:
    void* m_image = nullptr;
    int m_status = 0;
};

// A bitmap decoded from a stream (GdipCreateBitmapFromStream).
class gdiplus_bitmap : public gdiplus_image {
public:
    explicit gdiplus_bitmap(IStream* stream);
};

class gdiplus_graphics {
public:
    explicit gdiplus_graphics(HDC dc);
    ~gdiplus_graphics();
    gdiplus_graphics(const gdiplus_graphics&) = delete;
    gdiplus_graphics& operator=(const gdiplus_graphics&) = delete;

    // Compositing quality and interpolation mode (2 and 2: high quality).
    void set_quality(int compositing_quality, int interpolation_mode);
    // GdipDrawImageRectI of the image into the rectangle; a non-zero status is kept.
    void draw_image_rect(const gdiplus_image& image, const RECT& rect);
    int status() const { return m_status; }

private:
    void* m_graphics = nullptr;
    int m_status = 0;
};
