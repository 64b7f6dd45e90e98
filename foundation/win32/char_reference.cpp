#include "foundation/win32/char_reference.h"

namespace {

int digit_value(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value;
}

}  // namespace

bool parse_char_reference(const char* text, size_t length, uint32_t& out) {
    size_t i = 0;
    if (i < length && text[i] == '#') ++i;
    unsigned base = 10;
    if (i < length && (text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    }
    if (i == length) return false;
    uint64_t value = 0;
    for (; i < length; ++i) {
        const int digit = digit_value(text[i], base);
        if (digit < 0) return false;
        value = value * base + unsigned(digit);
        if (value > 0xFFFFFFFFull) return false;
    }
    out = uint32_t(value);
    return true;
}
