#include "foundation/kpl/crc32.h"

namespace {

// Eight tables: entries[0] is the classic byte table; entries[k][i] is the CRC of byte i followed by k
// zero bytes, so that eight bytes can be folded in at once ("slicing by eight"). The result is the
// same as feeding the bytes one at a time.
struct crc_tables {
    uint32_t entries[8][256];
    crc_tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) entries[k][i] = entries[0][entries[k - 1][i] & 0xFF] ^ (entries[k - 1][i] >> 8);
    }
};

const crc_tables& tables() {
    static const crc_tables t;
    return t;
}

uint32_t load_le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t crc32_update(uint32_t crc, const void* bytes, size_t count) {
    const auto& t = tables().entries;
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    uint32_t c = ~crc;
    for (; count >= 8; count -= 8, p += 8) {
        const uint32_t low = c ^ load_le32(p), high = load_le32(p + 4);
        c = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
            t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; count; --count, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return ~c;
}
