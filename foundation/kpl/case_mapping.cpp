#include "foundation/kpl/case_mapping.h"

#include <windows.h>

namespace kpl {

uint32_t codepoint_to_lower(uint32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    if (c >= 0x10000) return c;
    WCHAR unit = static_cast<WCHAR>(c);
    CharLowerBuffW(&unit, 1);
    return unit;
}

uint32_t codepoint_to_upper(uint32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
    if (c >= 0x10000) return c;
    WCHAR unit = static_cast<WCHAR>(c);
    CharUpperBuffW(&unit, 1);
    return unit;
}

void string_append_codepoint(utf8_string& out, uint32_t code_point) {
    char bytes[6];
    size_t n = utf8_encode_char(code_point, bytes);
    if (n) out.append(bytes, static_cast<uint32_t>(n));
}

void utf8_append_upper(utf8_string& out, const char* text, size_t length) {
    size_t pos = 0;
    while (pos < length) {
        uint32_t c;
        size_t n = utf8_decode_char(text + pos, &c, length - pos);
        if (n == 0) break;
        string_append_codepoint(out, codepoint_to_upper(c));
        pos += n;
    }
}

}  // namespace kpl
