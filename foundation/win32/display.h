#pragma once
// Screen resolution and font descriptions.
//
// A font_description is a LOGFONTW reduced to what the program stores: its size in units of 1/480 inch
// (so the same font keeps its physical size on another screen), weight, italic flag, character set and
// face name.
//
//   LOGFONTW lf = {}; lf.lfHeight = -11; lstrcpyW(lf.lfFaceName, L"Tahoma");   // at 96 dpi:
//   font_description_from_logfont(lf, d);     // d.size == MulDiv(11, 480, 96) == 55

#include <windows.h>

#include <cstdint>

// The vertical resolution of the screen in dots per inch.
int screen_dpi_y();

struct font_description {
    int32_t size = 0;        // MulDiv(|lfHeight|, 480, screen dpi)
    int32_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    char face[64] = {};      // UTF-8, at most 63 bytes, cut at a character boundary, zero-terminated
};

void font_description_from_logfont(const LOGFONTW& font, font_description& out);
// The same with a given resolution instead of the screen's.
void font_description_from_logfont(const LOGFONTW& font, int dpi_y, font_description& out);
