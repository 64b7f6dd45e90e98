// Pictures: the fit of an album picture in the side panel, the icon size rule, the dark-scheme filters, the
// program's PNG resources, album picture files that must or must not show (made here from a resource
// picture), the panel's render cache and the button image cache.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <objidl.h>
#include <gdiplus.h>

#include "foundation/kpl/exceptions.h"
#include "foundation/win32/gdiplus.h"
#include "foundation/win32/resource_data.h"
#include "resources/resource_ids.h"
#include "ui/pictures.h"

namespace {

bool operator_equal(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::wstring scratch_folder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"vorn-pictures-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

void write_file(const std::wstring& path, const void* data, size_t size, uint64_t padded_to = 0) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    if (padded_to > size) {
        std::vector<char> zeros(1 << 20, 0);
        uint64_t left = padded_to - size;
        while (left > 0) {
            DWORD piece = static_cast<DWORD>(left < zeros.size() ? left : zeros.size());
            WriteFile(file, zeros.data(), piece, &written, nullptr);
            left -= piece;
        }
    }
    CloseHandle(file);
}

// A 32-bit DIB section to paint into, readable pixel by pixel.
struct canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* bits = nullptr;
    int width, height;
    canvas(int w, int h) : width(w), height(h) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        dc = CreateCompatibleDC(nullptr);
        void* pixels = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
        bits = static_cast<uint32_t*>(pixels);
        previous = SelectObject(dc, bitmap);
    }
    ~canvas() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // 0x00RRGGBB
    uint32_t at(int x, int y) {
        GdiFlush();
        return bits[y * width + x] & 0xFFFFFF;
    }
};

}  // namespace

TEST_CASE("an album picture is fitted inside the panel's margin") {
    struct row {
        const char* name;
        RECT panel;
        int margin;
        UINT w, h;
        RECT fitted;
    };
    const row rows[] = {
        {"square picture, tall panel: letterboxed", {0, 0, 100, 200}, 10, 50, 50, {10, 60, 90, 140}},
        {"wide picture, square panel: letterboxed", {0, 0, 100, 100}, 0, 200, 100, {0, 25, 100, 75}},
        {"tall picture, square panel: pillarboxed", {0, 0, 100, 100}, 0, 100, 200, {25, 0, 75, 100}},
        {"same aspect: the whole inner rectangle", {10, 10, 110, 60}, 5, 900, 400, {15, 15, 105, 55}},
        {"rounding: floor(aspect x h + 0.5)", {0, 0, 100, 30}, 0, 3, 1, {5, 0, 95, 30}},
        {"empty picture leaves the inner rectangle", {0, 0, 100, 100}, 4, 0, 50, {4, 4, 96, 96}},
        {"margin larger than the panel", {0, 0, 10, 10}, 8, 50, 50, {8, 8, 2, 2}},
    };
    for (const row& r : rows) {
        INFO(std::string(r.name));
        RECT got = pictures::fit_picture(r.panel, r.margin, r.w, r.h);
        INFO("got " << got.left << "," << got.top << "," << got.right << "," << got.bottom);
        CHECK(operator_equal(got, r.fitted));
    }
}

TEST_CASE("button icon size and the pixel filters") {
    struct size_row {
        RECT client;
        int size;
    };
    const size_row sizes[] = {{{0, 0, 32, 32}, 24}, {{0, 0, 40, 20}, 15}, {{0, 0, 6, 50}, 8}, {{0, 0, 0, 0}, 8},
                              {{0, 0, 33, 33}, 25}};
    for (const size_row& s : sizes) CHECK(pictures::button_icon_size(s.client) == s.size);

    struct pixel_row {
        uint32_t in, faded, inverted;
    };
    const pixel_row pixels[] = {
        {0xFF000000u, 0x55000000u, 0xFFFFFFFFu},  // opaque black: faint; white
        {0x80FFFFFFu, 0x2AFFFFFFu, 0x80000000u},  // half-transparent white: black, alpha kept
        {0x02102030u, 0x00102030u, 0x02DFDFDFu},  // (16 + 32 + 48) / 3 = 32 -> 223
        {0xFFFF0000u, 0x55FF0000u, 0xFFAAAAAAu},  // pure red: 255 - 85
    };
    for (const pixel_row& p : pixels) {
        uint32_t faded = p.in, inverted = p.in;
        pictures::fade_pixels(&faded, 1);
        pictures::invert_grey_pixels(&inverted, 1);
        CHECK(faded == p.faded);
        CHECK(inverted == p.inverted);
    }
}

TEST_CASE("every picture of the main window loads, scales, inverts and becomes an icon") {
    gdiplus_token gdiplus;
    const int ids[] = {IDR_PNG_ROW_FOLDER, IDR_PNG_FULLSCREEN, IDR_PNG_PAUSE, IDR_PNG_PLAY, IDR_PNG_ROW_TRACK,
                       IDR_PNG_MENU, IDR_PNG_VOLUME_HIGH, IDR_PNG_BACK, IDR_PNG_FORWARD, IDR_PNG_VOLUME_MEDIUM,
                       IDR_PNG_VOLUME_LOW, IDR_PNG_VOLUME_MUTED, IDR_PNG_REWIND, IDR_PNG_FAST_FORWARD,
                       IDR_PNG_REPEAT, IDR_PROGRAM_PICTURE};
    for (int id : ids) {
        INFO("PNG " << id);
        std::unique_ptr<gdiplus_image> image = pictures::load_png_scaled(id, 20, 16);
        CHECK(image->width() == 20);
        CHECK(image->height() == 16);
        HICON icon = pictures::png_icon(id, 16, 16);
        CHECK(icon != nullptr);
        if (icon) DestroyIcon(icon);
    }
    // The play picture's ink is dark grey on transparent; inverted for dark schemes it becomes light grey.
    std::unique_ptr<gdiplus_image> play = pictures::load_png_resource(IDR_PNG_PLAY);
    pictures::invert_grey(*play);
    Gdiplus::ARGB centre = 0;
    REQUIRE(Gdiplus::DllExports::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(play->get()), 20, 24, &centre) ==
            0);
    CHECK((centre >> 24) == 0xFF);
    CHECK((centre & 0xFFFFFF) == 0xDFDFDF);
    // A track row shows a note, a folder row a folder: the folder's lower right is ink only in the folder,
    // the note's head (lower left of centre) only in the note.
    struct shape_point {
        int id, x, y;
        bool ink;
    };
    const shape_point shapes[] = {
        {IDR_PNG_ROW_FOLDER, 40, 37, true}, {IDR_PNG_ROW_TRACK, 40, 37, false},
        {IDR_PNG_ROW_TRACK, 16, 36, true},  {IDR_PNG_ROW_TRACK, 8, 14, false},
        {IDR_PNG_ROW_FOLDER, 8, 14, true},
    };
    for (const shape_point& point : shapes) {
        INFO("PNG " << point.id << " at " << point.x << "," << point.y);
        std::unique_ptr<gdiplus_image> picture = pictures::load_png_resource(point.id);
        Gdiplus::ARGB value = 0;
        REQUIRE(Gdiplus::DllExports::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(picture->get()), point.x,
                                                        point.y, &value) == 0);
        CHECK(((value >> 24) > 0x80) == point.ink);
    }
    CHECK_THROWS_AS(pictures::load_png_resource(4321), kpl::exception_bug_check);
    CHECK(pictures::png_icon(4321, 16, 16) == nullptr);
}

TEST_CASE("album picture files: what shows a panel and what is skipped without an error") {
    gdiplus_token gdiplus;
    std::unique_ptr<resource_data> png = load_resource_data(nullptr, MAKEINTRESOURCEW(IDR_PROGRAM_PICTURE), L"PNG");
    REQUIRE(png);
    std::wstring folder = scratch_folder();
    const char text[] = "this is not a picture\r\n";
    struct row {
        const char* name;
        const wchar_t* file;
        bool picture_bytes;
        uint64_t padded_to;
        bool shows;
    };
    const row rows[] = {
        {"a picture named cover.jpg", L"cover.jpg", true, 0, true},
        {"a picture of 1 MiB", L"one.jpg", true, 1u << 20, true},
        {"a picture of exactly 16 MiB", L"limit.png", true, 0x1000000, true},
        {"one byte over 16 MiB", L"over.png", true, 0x1000001, false},
        {"a picture of 20 MiB", L"large.jpg", true, 20u << 20, false},
        {"a text file named cover.jpg", L"text\\cover.jpg", false, 0, false},
        {"an empty file", L"empty.jpg", false, 0, false},
        {"no file at all", L"missing.jpg", false, 0, false},
    };
    CreateDirectoryW((folder + L"\\text").c_str(), nullptr);
    for (const row& r : rows) {
        INFO(std::string(r.name));
        std::wstring path = folder + L"\\" + r.file;
        if (r.picture_bytes)
            write_file(path, png->data(), png->size(), r.padded_to);
        else if (std::wstring(r.file) == L"empty.jpg")
            write_file(path, "", 0);
        else if (std::wstring(r.file) != L"missing.jpg")
            write_file(path, text, sizeof(text) - 1);
        album_picture picture;
        CHECK(picture.load(path.c_str()) == r.shows);
        CHECK(picture.has_picture() == r.shows);
        DeleteFileW(path.c_str());
    }
    // A failed load drops the picture loaded before.
    std::wstring good = folder + L"\\good.png", bad = folder + L"\\bad.png";
    write_file(good, png->data(), png->size());
    write_file(bad, text, sizeof(text) - 1);
    album_picture picture;
    REQUIRE(picture.load(good.c_str()));
    CHECK_FALSE(picture.load(bad.c_str()));
    CHECK_FALSE(picture.has_picture());
    DeleteFileW(good.c_str());
    DeleteFileW(bad.c_str());
    RemoveDirectoryW((folder + L"\\text").c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_CASE("the side panel: letterboxed on its gradient, rendered once per size and colours") {
    gdiplus_token gdiplus;
    std::unique_ptr<resource_data> png = load_resource_data(nullptr, MAKEINTRESOURCEW(IDR_PNG_MENU), L"PNG");
    std::wstring folder = scratch_folder();
    std::wstring path = folder + L"\\cover.png";
    write_file(path, png->data(), png->size());
    album_picture picture;
    REQUIRE(picture.load(path.c_str()));
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());

    canvas c(100, 200);
    SetBkColor(c.dc, RGB(255, 255, 255));
    SetTextColor(c.dc, RGB(0, 0, 0));
    RECT panel = {0, 0, 100, 200};
    picture.draw_side_panel(c.dc, panel, panel, 0);
    CHECK(picture.renders() == 1);
    // The square picture fills 0..100 x 50..150: its menu bars are ink; above it, the gradient's white top.
    CHECK(c.at(50, 0) == 0xFFFFFF);
    CHECK(c.at(50, 50 + 12 * 100 / 48) == 0x202020);
    // Below 80 % of the height the gradient returns from mid grey towards the background.
    uint32_t at_split = c.at(50, 160), at_bottom = c.at(50, 199);
    CHECK((at_split & 0xFF) < (at_bottom & 0xFF));

    picture.draw_side_panel(c.dc, panel, panel, 0);  // repaint: copied only
    CHECK(picture.renders() == 1);
    RECT smaller = {0, 0, 80, 200};
    picture.draw_side_panel(c.dc, smaller, smaller, 0);
    CHECK(picture.renders() == 2);
    SetBkColor(c.dc, RGB(0, 0, 0));
    picture.draw_side_panel(c.dc, smaller, smaller, 0);
    CHECK(picture.renders() == 3);
    picture.draw_side_panel(c.dc, smaller, smaller, 6);
    CHECK(picture.renders() == 4);

    // No picture: the paint rectangle gets the background colour.
    picture.drop();
    SetBkColor(c.dc, RGB(10, 20, 30));
    RECT part = {0, 0, 10, 10};
    picture.draw_side_panel(c.dc, panel, part, 0);
    CHECK(c.at(5, 5) == 0x0A141E);
    CHECK(c.at(50, 0) != 0x0A141E);
}

TEST_CASE("button faces and icons are made once per size and state, and kept until cleared") {
    gdiplus_token gdiplus;
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND button = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 10, 10, 32, 32, parent, nullptr, nullptr, nullptr);
    pictures::image_cache cache;
    gdiplus_image* normal = cache.face(button, 0, 32, 32, false);
    REQUIRE(normal != nullptr);
    CHECK(normal->width() == 32);
    CHECK(cache.face(button, 0, 32, 32, false) == normal);
    CHECK(cache.face(button, 3, 32, 32, false) != nullptr);
    CHECK(cache.face(button, 0, 40, 32, true) != nullptr);
    CHECK(cache.faces_made() == 3);
    CHECK(cache.face(button, 4, 32, 32, false) == nullptr);

    gdiplus_image* play = cache.icon(IDR_PNG_PLAY, 24, 24, true);
    REQUIRE(play != nullptr);
    CHECK(cache.icon(IDR_PNG_PLAY, 24, 24, true) == play);
    gdiplus_image* greyed = cache.icon(IDR_PNG_PLAY | pictures::greyed_flag, 24, 24, false);
    REQUIRE(greyed != nullptr);
    CHECK(greyed != play);
    Gdiplus::ARGB ink = 0, faint = 0;
    Gdiplus::DllExports::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(play->get()), 8, 12, &ink);
    Gdiplus::DllExports::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(greyed->get()), 8, 12, &faint);
    CHECK((ink & 0xFFFFFF) == 0xDFDFDF);  // inverted for a dark background
    CHECK((faint >> 24) == (ink >> 24) / 3);
    CHECK(cache.icon(4321, 24, 24, false) == nullptr);  // a missing picture stays empty
    CHECK(cache.icon(4321, 24, 24, false) == nullptr);
    cache.clear();
    CHECK(cache.face(button, 0, 32, 32, false) != nullptr);
    CHECK(cache.faces_made() == 4);
    DestroyWindow(parent);
}
