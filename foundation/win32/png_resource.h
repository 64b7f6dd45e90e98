#pragma once
// The program's PNG resources through GDI+ (started by the caller): decoded, drawn at a size, and made into
// the icons of push buttons.
//
//     std::unique_ptr<gdiplus_image> play = png_resource_scaled(IDR_PNG_PLAY, 24, 24);   // 32-bit ARGB; throws
//     const int side = button_icon_size(button);
//     HICON add = png_resource_icon(IDR_PNG_FOLDER_ADD, side, side);                     // null on any failure
//     if (add) SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(add));
//     ...
//     DestroyIcon(add);                                                                  // the caller's

#include <windows.h>

#include <cstddef>
#include <memory>

#include "foundation/win32/gdiplus.h"

struct IStream;

// A read-only stream over a copy of the bytes (SHCreateMemStream, looked up at run time since Windows XP
// exports it by ordinal only); null when it cannot be made. The caller releases it.
IStream* memory_stream_of(const void* data, size_t size);

// A new width x height bitmap of 32-bit ARGB pixels; GDI+ failures throw exception_gdiplus.
std::unique_ptr<gdiplus_image> gdiplus_argb_bitmap(int width, int height);
// An icon of an ARGB bitmap; null on failure. The caller destroys it.
HICON gdiplus_icon_of(gdiplus_image& image);

// The program's PNG resource `id`; a missing one throws kpl::exception_bug_check, GDI+ failures
// exception_gdiplus.
std::unique_ptr<gdiplus_image> png_resource_image(int id);
// A new width x height ARGB bitmap with the PNG drawn stretched over it (high-quality interpolation).
std::unique_ptr<gdiplus_image> png_resource_scaled(int id, int width, int height);
// An icon of png_resource_scaled; null on any failure. The caller destroys it.
HICON png_resource_icon(int id, int width, int height);

// Both sides of a button icon: MulDiv(the client rectangle's smaller side, 3, 4), at least 8.
int button_icon_size(const RECT& client);
int button_icon_size(HWND button);
