#pragma once
// CRC-32 of IEEE 802.3 (reflected, polynomial 0xEDB88320, inverted before and after). Chained calls
// continue a running value, so a text may be fed in pieces:
//
//     crc32_update(0, "abc", 3) == 0x352441C2
//     crc32_update(crc32_update(0, "a", 1), "bc", 2) == 0x352441C2

#include <cstddef>
#include <cstdint>

uint32_t crc32_update(uint32_t crc, const void* bytes, size_t count);
