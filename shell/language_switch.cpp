#include "shell/language_switch.h"

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

uint32_t parse_language_id(const char* text) noexcept {
    if (!text) return 0;
    uint32_t value = 0;
    if (text[0] == '0' && text[1] == 'x') {
        for (const char* p = text + 2; *p; ++p) {
            int digit = hex_digit(*p);
            if (digit < 0 || value > 0x0FFFFFFF) return 0;
            value = (value << 4) | static_cast<uint32_t>(digit);
        }
        return value;
    }
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        uint32_t digit = static_cast<uint32_t>(*p - '0');
        if (value > (0xFFFFFFFFu - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}
