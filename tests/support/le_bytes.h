#pragma once
// Little-endian numbers appended to a byte vector, for the tests that build files by hand.
//
//     std::vector<uint8_t> b;
//     le_bytes::put16(b, 0x1234);             // 34 12
//     le_bytes::put32(b, 44100);              // 44 AC 00 00
//     le_bytes::put64(b, 0x0102030405060708); // 08 07 06 05 04 03 02 01

#include <cstdint>
#include <vector>

namespace le_bytes {

inline void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put64(std::vector<uint8_t>& b, uint64_t v) {
    put32(b, static_cast<uint32_t>(v));
    put32(b, static_cast<uint32_t>(v >> 32));
}

}  // namespace le_bytes
