#include "foundation/kpl/base64.h"

#include "foundation/kpl/exceptions.h"

namespace kpl {

namespace {

const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

uint32_t base64_decoded_size(const char* text, uint32_t length) {
    length = strnlen(text, length);
    if (length % 4 != 0) throw exception_invalid_params();
    uint32_t size = length / 4 * 3;
    if (length >= 1 && text[length - 1] == '=') --size;
    if (length >= 2 && text[length - 1] == '=' && text[length - 2] == '=') --size;
    return size;
}

void base64_decode(const char* text, uint32_t length, void* out) {
    length = strnlen(text, length);
    uint32_t size = base64_decoded_size(text, length);
    uint32_t padding = length / 4 * 3 - size;
    uint8_t* p = static_cast<uint8_t*>(out);
    uint32_t written = 0;
    for (uint32_t i = 0; i < length; i += 4) {
        uint32_t group = 0;
        for (uint32_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            int v = sextet(c);
            if (v < 0) {
                // '=' only as the padding counted above.
                if (c != '=' || i + k < length - padding) throw exception_invalid_params();
                v = 0;
            }
            group = (group << 6) | static_cast<uint32_t>(v);
        }
        for (int shift = 16; shift >= 0 && written < size; shift -= 8) p[written++] = static_cast<uint8_t>(group >> shift);
    }
}

void base64_decode(const char* text, byte_array& out) {
    uint32_t length = strnlen(text, utf8_string::npos);
    uint32_t size = base64_decoded_size(text, length);
    byte_array decoded;
    decoded.resize_exact(size);
    base64_decode(text, length, decoded.data());
    out = static_cast<byte_array&&>(decoded);
}

void base64_encode(const void* bytes, uint32_t count, utf8_string& out) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    utf8_string_pow2 text;
    char group[4];
    for (uint32_t i = 0; i < count; i += 3) {
        uint32_t n = count - i < 3 ? count - i : 3;
        uint32_t v = static_cast<uint32_t>(p[i]) << 16;
        if (n > 1) v |= static_cast<uint32_t>(p[i + 1]) << 8;
        if (n > 2) v |= p[i + 2];
        group[0] = alphabet[(v >> 18) & 63];
        group[1] = alphabet[(v >> 12) & 63];
        group[2] = n > 1 ? alphabet[(v >> 6) & 63] : '=';
        group[3] = n > 2 ? alphabet[v & 63] : '=';
        text.append(group, 4);
    }
    out.assign(text.c_str(), text.length());
}

}  // namespace kpl
