#include "foundation/kpl/utf8.h"
#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

uint32_t char_bytes(const char* text, uint32_t length) {
    if (length == 0) return 0;
    size_t n = kpl::utf8_decode_char(text, nullptr, length);
    return n ? static_cast<uint32_t>(n) : 1;
}

uint32_t char_count(const char* text, uint32_t length) {
    return static_cast<uint32_t>(kpl::utf8_char_count(text, length));
}

uint32_t char_offset(const char* text, uint32_t length, uint32_t n) {
    uint32_t pos = 0;
    for (uint32_t i = 0; i < n && pos < length; ++i) {
        size_t bytes = kpl::utf8_decode_char(text + pos, nullptr, length - pos);
        if (bytes == 0) break;
        pos += static_cast<uint32_t>(bytes);
    }
    return pos;
}

uint32_t first_char(const char* text, uint32_t length) { return char_bytes(text, length); }

void append_repeated(kpl::utf8_string& out, const char* text, uint32_t length, uint32_t n) {
    if (length == 0) return;
    for (uint32_t i = 0; i < n; ++i) out.append(text, length);
}

}  // namespace title_functions
