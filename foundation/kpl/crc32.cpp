#include "foundation/kpl/crc32.h"

namespace {

struct crc_table {
    uint32_t entries[256];
    crc_table() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[i] = c;
        }
    }
};

const crc_table& table() {
    static const crc_table t;
    return t;
}

}  // namespace

uint32_t crc32_update(uint32_t crc, const void* bytes, size_t count) {
    const uint32_t* t = table().entries;
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    uint32_t c = ~crc;
    for (size_t i = 0; i < count; ++i) c = t[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}
