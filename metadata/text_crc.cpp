#include "metadata/text_crc.h"

#include <cstring>

#include "foundation/kpl/case_mapping.h"
#include "foundation/kpl/crc32.h"
#include "foundation/kpl/utf8.h"

uint32_t utf8_crc32(const char* text) { return crc32_update(0, text, std::strlen(text)); }

uint32_t utf8_crc32_nocase(uint32_t max_bytes, const char* text) {
    uint32_t crc = 0;
    size_t position = 0;
    while (position < max_bytes) {
        uint32_t c = 0;
        size_t n = kpl::utf8_decode_char(text + position, &c, max_bytes - position);
        if (n == 0) break;
        if (c >= 'A' && c <= 'Z') {
            c += 'a' - 'A';
        } else if (c >= 0x80 && c < 0x10000) {
            c = kpl::codepoint_to_lower(c);
        }
        char bytes[8];
        size_t length = kpl::utf8_encode_char(c, bytes);
        crc = crc32_update(crc, bytes, length);
        position += n;
    }
    return crc;
}
