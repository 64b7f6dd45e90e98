#include "foundation/kpl/utf8.h"

namespace kpl {

namespace {

size_t decode(const unsigned char* p, uint32_t* code_point, size_t limit) {
    if (code_point) *code_point = 0;
    if (limit == 0) return 0;
    unsigned char lead = p[0];
    if (lead < 0x80) {
        if (code_point) *code_point = lead;
        return lead ? 1 : 0;
    }
    size_t n;
    uint32_t value;
    uint32_t minimum;
    if ((lead & 0xE0) == 0xC0) {
        n = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4, value = lead & 0x07, minimum = 0x10000;
    } else if ((lead & 0xFC) == 0xF8) {
        n = 5, value = lead & 0x03, minimum = 0x200000;
    } else if ((lead & 0xFE) == 0xFC) {
        n = 6, value = lead & 0x01, minimum = 0x4000000;
    } else {
        return 0;  // a continuation byte, 0xFE or 0xFF
    }
    if (n > limit) return 0;
    // Continuation bytes are checked one by one, so a zero terminator stops the walk in time.
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    if (value < minimum) return 0;  // overlong (this also rejects 0xC0 and 0xC1)
    if (code_point) *code_point = value;
    return n;
}

}  // namespace

size_t utf8_decode_char(const char* text, uint32_t* code_point) {
    return decode(reinterpret_cast<const unsigned char*>(text), code_point, 6);
}

size_t utf8_decode_char(const char* text, uint32_t* code_point, size_t limit) {
    return decode(reinterpret_cast<const unsigned char*>(text), code_point, limit);
}

size_t utf8_encode_char(uint32_t c, char* out) {
    size_t n;
    if (c < 0x80) n = 1;
    else if (c < 0x800) n = 2;
    else if (c < 0x10000) n = 3;
    else if (c < 0x200000) n = 4;
    else if (c < 0x4000000) n = 5;
    else if (c <= 0x7FFFFFFF) n = 6;
    else return 0;
    if (!out) return n;
    if (n == 1) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    static const unsigned char lead_marks[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    for (size_t i = n - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    out[0] = static_cast<char>(lead_marks[n] | c);
    return n;
}

size_t utf16_encode_char(uint32_t c, wchar_t* out) {
    if (c < 0x10000) {
        out[0] = static_cast<wchar_t>(c);
        return 1;
    }
    if (c <= 0x10FFFF) {
        out[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        out[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        return 2;
    }
    out[0] = L'?';
    return 1;
}

static size_t utf16_units_of(uint32_t c) { return c >= 0x10000 && c <= 0x10FFFF ? 2 : 1; }

size_t utf8_to_utf16_counted(wchar_t* out, size_t out_size, const char* text, size_t length) {
    if (out_size == 0) return 0;
    size_t written = 0, pos = 0;
    while (pos < length) {
        uint32_t c;
        size_t n = utf8_decode_char(text + pos, &c, length - pos);
        if (n == 0) break;
        size_t units = utf16_units_of(c);
        if (written + units + 1 > out_size) break;
        written += utf16_encode_char(c, out + written);
        pos += n;
    }
    out[written] = 0;
    return written;
}

size_t utf8_to_utf16(wchar_t* out, size_t out_size, const char* text) {
    return utf8_to_utf16_counted(out, out_size, text, text_npos);
}

size_t utf16_length_of_utf8_counted(const char* text, size_t length) {
    size_t units = 0, pos = 0;
    while (pos < length) {
        uint32_t c;
        size_t n = utf8_decode_char(text + pos, &c, length - pos);
        if (n == 0) break;
        units += utf16_units_of(c);
        pos += n;
    }
    return units + 1;
}

size_t utf16_length_of_utf8(const char* text) { return utf16_length_of_utf8_counted(text, text_npos); }

namespace {

// Reads one UTF-16 character (joining a surrogate pair); 0 units at the end or a zero unit.
size_t read_utf16(const wchar_t* text, size_t left, uint32_t* c) {
    if (left == 0 || text[0] == 0) return 0;
    uint32_t u = static_cast<uint16_t>(text[0]);
    if (u >= 0xD800 && u < 0xDC00 && left >= 2) {
        uint32_t v = static_cast<uint16_t>(text[1]);
        if (v >= 0xDC00 && v < 0xE000) {
            *c = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
            return 2;
        }
    }
    *c = u;
    return 1;
}

}  // namespace

size_t utf16_to_utf8_counted(char* out, size_t out_size, const wchar_t* text, size_t length) {
    if (out_size == 0) return 0;
    size_t written = 0, pos = 0;
    while (true) {
        uint32_t c;
        size_t n = read_utf16(text + pos, length - pos, &c);
        if (n == 0) break;
        size_t bytes = utf8_encode_char(c, nullptr);
        if (written + bytes + 1 > out_size) break;
        utf8_encode_char(c, out + written);
        written += bytes;
        pos += n;
    }
    out[written] = 0;
    return written;
}

size_t utf8_length_of_utf16(const wchar_t* text, size_t length) {
    size_t bytes = 0, pos = 0;
    while (true) {
        uint32_t c;
        size_t n = read_utf16(text + pos, length - pos, &c);
        if (n == 0) break;
        bytes += utf8_encode_char(c, nullptr);
        pos += n;
    }
    return bytes + 1;
}

size_t utf8_length_of_ucs4(const uint32_t* code_points, size_t count) {
    size_t bytes = 0;
    for (size_t i = 0; i < count && code_points[i]; ++i) bytes += utf8_encode_char(code_points[i], nullptr);
    return bytes + 1;
}

size_t utf8_offset_of_char(const char* text, size_t n) {
    size_t pos = 0;
    for (size_t i = 0; i < n; ++i) {
        size_t len = utf8_decode_char(text + pos, nullptr);
        if (len == 0) break;
        pos += len;
    }
    return pos;
}

bool utf8_check(const char* text, size_t n, size_t* valid_length) {
    size_t pos = 0;
    bool ok;
    while (true) {
        if (pos == n) {
            ok = true;
            break;
        }
        if (n == text_npos && text[pos] == 0) {
            ok = true;
            break;
        }
        size_t len = utf8_decode_char(text + pos, nullptr, n - pos);
        if (len == 0) {
            ok = false;
            break;
        }
        pos += len;
    }
    if (valid_length) *valid_length = pos;
    return ok;
}

size_t utf8_char_count(const char* text, size_t n) {
    size_t pos = 0, count = 0;
    while (pos < n) {
        size_t len = utf8_decode_char(text + pos, nullptr, n - pos);
        if (len == 0) break;
        pos += len;
        ++count;
    }
    return count;
}

}  // namespace kpl
