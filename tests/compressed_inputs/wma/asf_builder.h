#pragma once
// Builds small ASF headers for the tests, object by object.

#include <cstdint>
#include <string>
#include <vector>

#include "compressed_inputs/wma/wma_fields.h"
#include "tests/support/le_bytes.h"

namespace asf_test {

using bytes = std::vector<uint8_t>;

struct guid16 {
    uint8_t b[16];
};

inline guid16 make_guid(uint32_t d1, uint16_t d2, uint16_t d3, uint64_t tail_be) {
    guid16 g{};
    for (int i = 0; i < 4; ++i) g.b[i] = static_cast<uint8_t>(d1 >> (8 * i));
    g.b[4] = static_cast<uint8_t>(d2), g.b[5] = static_cast<uint8_t>(d2 >> 8);
    g.b[6] = static_cast<uint8_t>(d3), g.b[7] = static_cast<uint8_t>(d3 >> 8);
    for (int i = 0; i < 8; ++i) g.b[8 + i] = static_cast<uint8_t>(tail_be >> (8 * (7 - i)));
    return g;
}

const guid16 header_guid = make_guid(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
const guid16 file_properties_guid = make_guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365ull);
const guid16 stream_properties_guid = make_guid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE600C00C205365ull);
const guid16 audio_media_guid = make_guid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8FD00805F5C442Bull);
const guid16 content_description_guid = make_guid(0x75B22633, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
const guid16 extended_content_guid = make_guid(0xD2D0A440, 0xE307, 0x11D2, 0x97F000A0C95EA850ull);
const guid16 header_extension_guid = make_guid(0x5FBF03B5, 0xA92E, 0x11CF, 0x8EE300C00C205365ull);
const guid16 extension_reserved_guid = make_guid(0xABD3D211, 0xA9BA, 0x11CF, 0x8EE600C00C205365ull);
const guid16 metadata_library_guid = make_guid(0x44231C94, 0x9498, 0x49D1, 0xA1411D134E457054ull);
const guid16 metadata_guid = make_guid(0xC5F8CBEA, 0x5BAF, 0x4877, 0x8467AA8C44FA4CCAull);
const guid16 data_guid = make_guid(0x75B22636, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
const guid16 unknown_guid = make_guid(0x12345678, 0x9ABC, 0xDEF0, 0x0102030405060708ull);

using le_bytes::put16;
using le_bytes::put32;
using le_bytes::put64;
inline void append(bytes& b, const bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline bytes wide(const char* text) { return wma_utf16_from_text(text); }

inline bytes object(const guid16& g, const bytes& body) {
    bytes b(g.b, g.b + 16);
    put64(b, body.size() + 24);
    append(b, body);
    return b;
}

inline bytes file_properties(uint64_t play_100ns, uint64_t preroll_ms, uint64_t file_size) {
    bytes b(16, 0x11);   // file id
    put64(b, file_size);
    put64(b, 0);         // creation date
    put64(b, 3);         // packets
    put64(b, play_100ns);
    put64(b, play_100ns);
    put64(b, preroll_ms);
    put32(b, 2);         // flags: seekable
    put32(b, 3200);
    put32(b, 3200);
    put32(b, 128000);
    return object(file_properties_guid, b);
}

inline bytes audio_stream(uint16_t number, uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg_bytes,
                          uint16_t bits) {
    bytes w;
    put16(w, tag);
    put16(w, channels);
    put32(w, rate);
    put32(w, avg_bytes);
    put16(w, 2);   // block align
    put16(w, bits);
    put16(w, 0);   // cbSize
    bytes b(audio_media_guid.b, audio_media_guid.b + 16);
    b.insert(b.end(), 16, 0);   // error correction type
    put64(b, 0);
    put32(b, static_cast<uint32_t>(w.size()));
    put32(b, 0);
    put16(b, number);
    put32(b, 0);
    append(b, w);
    return object(stream_properties_guid, b);
}

inline bytes content_description(const char* title, const char* author, const char* copyright,
                                 const char* description, const char* rating) {
    const char* texts[5] = {title, author, copyright, description, rating};
    bytes lengths, strings;
    for (const char* t : texts) {
        bytes w = t ? wide(t) : bytes();
        put16(lengths, static_cast<uint32_t>(w.size()));
        append(strings, w);
    }
    append(lengths, strings);
    return object(content_description_guid, lengths);
}

struct ecd_entry {
    std::string name;
    uint16_t file_type;   // 0 text, 1 bytes, 2 bool, 3 DWORD, 4 QWORD, 5 WORD
    bytes value;
};

inline bytes extended_content(const std::vector<ecd_entry>& entries) {
    bytes b;
    put16(b, static_cast<uint32_t>(entries.size()));
    for (const ecd_entry& e : entries) {
        bytes n = wide(e.name.c_str());
        put16(b, static_cast<uint32_t>(n.size()));
        append(b, n);
        put16(b, e.file_type);
        put16(b, static_cast<uint32_t>(e.value.size()));
        append(b, e.value);
    }
    return object(extended_content_guid, b);
}

struct library_entry {
    uint16_t stream;
    std::string name;
    uint16_t file_type;
    bytes value;
};

inline bytes metadata_list(const guid16& g, const std::vector<library_entry>& entries) {
    bytes b;
    put16(b, static_cast<uint32_t>(entries.size()));
    for (const library_entry& e : entries) {
        bytes n = wide(e.name.c_str());
        put16(b, 0);
        put16(b, e.stream);
        put16(b, static_cast<uint32_t>(n.size()));
        put16(b, e.file_type);
        put32(b, static_cast<uint32_t>(e.value.size()));
        append(b, n);
        append(b, e.value);
    }
    return object(g, b);
}

inline bytes header_extension(const std::vector<bytes>& children) {
    bytes b(extension_reserved_guid.b, extension_reserved_guid.b + 16);
    put16(b, 6);
    bytes inner;
    for (const bytes& c : children) append(inner, c);
    put32(b, static_cast<uint32_t>(inner.size()));
    append(b, inner);
    return object(header_extension_guid, b);
}

inline bytes header(const std::vector<bytes>& children) {
    bytes body;
    put32(body, static_cast<uint32_t>(children.size()));
    body.push_back(1);
    body.push_back(2);
    for (const bytes& c : children) append(body, c);
    return object(header_guid, body);
}

inline bytes dword_value(uint32_t v) {
    bytes b;
    put32(b, v);
    return b;
}

}  // namespace asf_test
