// PNG resources as GDI+ bitmaps and button icons.
#include "foundation/win32/png_resource.h"

#include <objidl.h>
#include <gdiplus.h>

#include <new>

#include "foundation/kpl/exceptions.h"
#include "foundation/win32/resource_data.h"

namespace flat = Gdiplus::DllExports;

namespace {

// A GDI+ image made here (the wrapper takes the handle).
class made_image final : public gdiplus_image {
public:
    explicit made_image(void* image) { m_image = image; }
};

}  // namespace

IStream* memory_stream_of(const void* data, size_t size) {
    typedef IStream*(WINAPI * create_fn)(const BYTE*, UINT);
    HMODULE shlwapi = GetModuleHandleW(L"shlwapi.dll");
    if (shlwapi == nullptr) shlwapi = LoadLibraryW(L"shlwapi.dll");
    if (shlwapi == nullptr) return nullptr;
    void* named = reinterpret_cast<void*>(GetProcAddress(shlwapi, "SHCreateMemStream"));
    if (named == nullptr) named = reinterpret_cast<void*>(GetProcAddress(shlwapi, MAKEINTRESOURCEA(12)));
    if (named == nullptr) return nullptr;
    return reinterpret_cast<create_fn>(named)(static_cast<const BYTE*>(data), static_cast<UINT>(size));
}

std::unique_ptr<gdiplus_image> gdiplus_argb_bitmap(int width, int height) {
    Gdiplus::GpBitmap* bitmap = nullptr;
    gdiplus_check(flat::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap));
    return std::unique_ptr<gdiplus_image>(new made_image(bitmap));
}

HICON gdiplus_icon_of(gdiplus_image& image) {
    HICON icon = nullptr;
    if (flat::GdipCreateHICONFromBitmap(static_cast<Gdiplus::GpBitmap*>(image.get()), &icon) != Gdiplus::Ok)
        return nullptr;
    return icon;
}

std::unique_ptr<gdiplus_image> png_resource_image(int id) {
    std::unique_ptr<resource_data> data = load_resource_data(nullptr, MAKEINTRESOURCEW(id), L"PNG");
    if (!data) throw kpl::exception_bug_check();
    IStream* stream = memory_stream_of(data->data(), data->size());
    if (stream == nullptr) throw std::bad_alloc();
    std::unique_ptr<gdiplus_image> image(new gdiplus_bitmap(stream));
    stream->Release();  // the bitmap decoded the data: it no longer reads the stream
    gdiplus_check(image->status());
    return image;
}

std::unique_ptr<gdiplus_image> png_resource_scaled(int id, int width, int height) {
    std::unique_ptr<gdiplus_image> source = png_resource_image(id);
    std::unique_ptr<gdiplus_image> scaled = gdiplus_argb_bitmap(width, height);
    Gdiplus::GpGraphics* graphics = nullptr;
    gdiplus_check(flat::GdipGetImageGraphicsContext(static_cast<Gdiplus::GpImage*>(scaled->get()), &graphics));
    int status = flat::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQuality);
    if (status == 0)
        status = flat::GdipDrawImageRectI(graphics, static_cast<Gdiplus::GpImage*>(source->get()), 0, 0, width, height);
    flat::GdipDeleteGraphics(graphics);
    gdiplus_check(status);
    return scaled;
}

HICON png_resource_icon(int id, int width, int height) {
    try {
        std::unique_ptr<gdiplus_image> image = png_resource_scaled(id, width, height);
        return gdiplus_icon_of(*image);
    } catch (...) {
        return nullptr;
    }
}

int button_icon_size(const RECT& client) {
    int side = client.right - client.left;
    if (client.bottom - client.top < side) side = client.bottom - client.top;
    const int size = MulDiv(side, 3, 4);
    return size < 8 ? 8 : size;
}

int button_icon_size(HWND button) {
    RECT client = {0, 0, 0, 0};
    GetClientRect(button, &client);
    return button_icon_size(client);
}
