#include "foundation/win32/display.h"

#include <cstdlib>
#include <cstring>

#include "foundation/win32/win_string.h"

int screen_dpi_y() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void font_description_from_logfont(const LOGFONTW& font, font_description& out) {
    font_description_from_logfont(font, screen_dpi_y(), out);
}

void font_description_from_logfont(const LOGFONTW& font, int dpi_y, font_description& out) {
    out.size = MulDiv(std::abs(font.lfHeight), 480, dpi_y);
    out.weight = font.lfWeight;
    out.italic = font.lfItalic;
    out.charset = font.lfCharSet;
    wchar_t face[LF_FACESIZE + 1] = {};
    std::memcpy(face, font.lfFaceName, sizeof font.lfFaceName);
    const kpl::utf8_string_pow2 name = utf16_to_utf8_string(face);
    // Cut at 63 bytes without splitting a character: step back over continuation bytes.
    size_t length = name.length();
    if (length > 63) {
        length = 63;
        while (length > 0 && (static_cast<unsigned char>(name.c_str()[length]) & 0xC0) == 0x80) --length;
    }
    std::memset(out.face, 0, sizeof out.face);
    std::memcpy(out.face, name.c_str(), length);
}
