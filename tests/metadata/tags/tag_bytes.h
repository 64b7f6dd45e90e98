#pragma once
// Small builders for hand-made tag bytes in the tag tests.
//
//     bytes t = id3_header(3, 0x00, frame23("TIT2", text3("abc")));   // a whole 2.3 tag
//     bytes f = frame24("TPE1", text3("x"), 0x03);                     // a 2.4 frame with format flags

#include <cstdint>
#include <string>
#include <vector>

namespace tag_bytes {

using bytes = std::vector<uint8_t>;

inline bytes b(const std::string& s) { return bytes(s.begin(), s.end()); }

inline bytes cat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline bytes be32(uint32_t v) {
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

inline bytes le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

inline bytes syncsafe(uint32_t v) {
    return {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F), uint8_t((v >> 7) & 0x7F), uint8_t(v & 0x7F)};
}

// "ID3", version, revision 0, flags, syncsafe size of the body, the body.
inline bytes id3_header(uint8_t version, uint8_t flags, const bytes& body) {
    return cat({b("ID3"), {version, 0, flags}, syncsafe(static_cast<uint32_t>(body.size())), body});
}

inline bytes frame22(const char* id, const bytes& payload) {
    uint32_t n = static_cast<uint32_t>(payload.size());
    return cat({b(std::string(id, 3)), {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)}, payload});
}

inline bytes frame23(const char* id, const bytes& payload, uint8_t status = 0, uint8_t format = 0) {
    return cat({b(std::string(id, 4)), be32(static_cast<uint32_t>(payload.size())), {status, format}, payload});
}

inline bytes frame24(const char* id, const bytes& payload, uint8_t format = 0, uint8_t status = 0) {
    return cat({b(std::string(id, 4)), syncsafe(static_cast<uint32_t>(payload.size())), {status, format}, payload});
}

// Text payloads: encoding byte then the strings as given (terminators are part of the text).
inline bytes text0(const std::string& s) { return cat({{0}, b(s)}); }
inline bytes text3(const std::string& s) { return cat({{3}, b(s)}); }

// A UTF-16LE payload with mark for each string, each with its terminator.
inline bytes text1(std::initializer_list<std::u16string> strings, const char* language = nullptr) {
    bytes out{1};
    if (language) {
        for (int i = 0; i < 3; ++i) out.push_back(uint8_t(language[i]));
    }
    for (const std::u16string& s : strings) {
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : s) {
            out.push_back(uint8_t(c & 0xFF));
            out.push_back(uint8_t(c >> 8));
        }
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

}  // namespace tag_bytes
