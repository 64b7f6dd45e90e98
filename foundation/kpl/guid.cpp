#include "foundation/kpl/guid.h"

#include <cstring>

namespace kpl {

namespace {

uint32_t word(const guid& g, int i) noexcept {
    uint32_t w;
    std::memcpy(&w, reinterpret_cast<const uint8_t*>(&g) + 4 * i, 4);
    return w;
}

uint8_t hex_digit(char c) noexcept {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    return 0;
}

// A cursor over [p, end) of the text being parsed.
struct guid_reader {
    const char* p;
    const char* end;

    void skip_dashes() noexcept {
        while (p < end && *p == '-') ++p;
    }
    // Reads `count` bytes (2 digits each) when they all lie before the end.
    bool read_bytes(uint8_t* out, int count) noexcept {
        if (end - p < 2 * count) return false;
        for (int i = 0; i < count; ++i, p += 2) out[i] = hex_byte_value(p[0], p[1]);
        return true;
    }
};

}  // namespace

bool guid_equal(const guid& a, const guid& b) noexcept {
    return word(a, 0) == word(b, 0) && word(a, 1) == word(b, 1) && word(a, 2) == word(b, 2) &&
           word(a, 3) == word(b, 3);
}

int guid_compare(const guid& a, const guid& b) noexcept {
    int r = std::memcmp(&a, &b, sizeof(guid));
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool guid_differs(const guid& a, const guid& b) noexcept { return std::memcmp(&a, &b, sizeof(guid)) != 0; }

uint8_t hex_byte_value(char high, char low) noexcept {
    return static_cast<uint8_t>(hex_digit(high) << 4 | hex_digit(low));
}

void guid_from_text(const char* text, guid& out) noexcept {
    if (!text) return;
    if (*text == '{') ++text;
    const char* end = text;
    while (*end && *end != '}') ++end;
    guid_reader r{text, end};

    uint8_t b[8];
    if (!r.read_bytes(b, 4)) return;
    out.data1 = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    r.skip_dashes();
    if (!r.read_bytes(b, 2)) return;
    out.data2 = static_cast<uint16_t>(b[0] << 8 | b[1]);
    r.skip_dashes();
    if (!r.read_bytes(b, 2)) return;
    out.data3 = static_cast<uint16_t>(b[0] << 8 | b[1]);
    r.skip_dashes();
    if (!r.read_bytes(out.data4, 2)) return;
    r.skip_dashes();
    r.read_bytes(out.data4 + 2, 6);
}

guid guid_from_text(const char* text) noexcept {
    guid g = guid_null;
    guid_from_text(text, g);
    return g;
}

void format_hex_bytes(const void* bytes16, char* out33) noexcept {
    static const char hex[] = "0123456789ABCDEF";
    const uint8_t* b = static_cast<const uint8_t*>(bytes16);
    for (int i = 0; i < 16; ++i) {
        out33[2 * i] = hex[b[i] >> 4];
        out33[2 * i + 1] = hex[b[i] & 0xF];
    }
    out33[32] = 0;
}

}  // namespace kpl
