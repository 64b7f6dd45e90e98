#include "foundation/kpl/bit_array.h"

#include <cstring>

namespace kpl {

uint32_t bit_mask::find(bool value, uint32_t start, uint32_t count) const {
    uint32_t end = start + count < start ? UINT32_MAX : start + count;
    for (uint32_t i = start; i < end; ++i)
        if (get(i) == value) return i;
    return end;
}

bit_array::bit_array(uint32_t bit_count) { reset(bit_count); }

void bit_array::reset(uint32_t bit_count) {
    uint32_t bytes = static_cast<uint32_t>((static_cast<uint64_t>(bit_count) + 7) / 8);
    m_bytes.resize_exact(bytes);
    if (bytes) std::memset(m_bytes.data(), 0, bytes);
    m_bit_count = bit_count;
}

bool bit_array::get(uint32_t index) const {
    if (index >= m_bit_count) return false;
    return (m_bytes[index / 8] >> (index % 8)) & 1;
}

void bit_array::set(uint32_t index, bool value) noexcept {
    if (index >= m_bit_count) return;
    uint8_t bit = static_cast<uint8_t>(1u << (index % 8));
    if (value)
        m_bytes[index / 8] |= bit;
    else
        m_bytes[index / 8] &= static_cast<uint8_t>(~bit);
}

}  // namespace kpl
