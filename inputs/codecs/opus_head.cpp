#include "inputs/codecs/opus_head.h"

#include <cstring>

namespace {

// Bounded little-endian reading: every read fails once it would run past the end.
class le_cursor {
public:
    le_cursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool u8(uint32_t& v) {
        if (m_size - m_pos < 1) return false;
        v = m_data[m_pos++];
        return true;
    }
    bool u16(uint32_t& v) {
        if (m_size - m_pos < 2) return false;
        v = m_data[m_pos] | (uint32_t(m_data[m_pos + 1]) << 8);
        m_pos += 2;
        return true;
    }
    bool u32(uint32_t& v) {
        uint32_t lo, hi;
        if (m_size - m_pos < 4 || !u16(lo) || !u16(hi)) return false;
        v = lo | (hi << 16);
        return true;
    }
    bool at_end() const { return m_pos == m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace

bool opus_head_parse(const uint8_t* data, size_t size, opus_head& out) {
    if (!data || size < 19 || std::memcmp(data, "OpusHead", 8) != 0) return false;
    le_cursor c(data + 8, size - 8);
    opus_head h;
    uint32_t gain = 0;
    if (!c.u8(h.version) || (h.version & 0xF0) != 0) return false;
    if (!c.u8(h.channels) || h.channels < 1) return false;
    if (!c.u16(h.pre_skip) || !c.u32(h.input_sample_rate) || !c.u16(gain) || !c.u8(h.mapping_family)) return false;
    h.output_gain = static_cast<int16_t>(gain);
    if (h.mapping_family == 0) {
        if (h.channels > 2) return false;
        h.stream_count = 1;
        h.coupled_count = h.channels - 1;
        h.mapping[0] = 0;
        h.mapping[1] = 1;
    } else {
        if (!c.u8(h.stream_count) || h.stream_count < 1) return false;
        if (!c.u8(h.coupled_count) || h.coupled_count > h.stream_count) return false;
        if (h.stream_count + h.coupled_count > 255) return false;
        for (uint32_t i = 0; i < h.channels; ++i) {
            uint32_t entry;
            if (!c.u8(entry)) return false;
            if (entry != 255 && entry >= h.stream_count + h.coupled_count) return false;
            h.mapping[i] = static_cast<uint8_t>(entry);
        }
    }
    if (h.version <= 1 && !c.at_end()) return false;
    out = h;
    return true;
}
