#pragma once
// Test streams over bytes in memory.
//
//     bytes_source in({1, 2, 3});
//     in.read(buffer, 8, abort_never) == 3;
//     in.position() == 3;
//     bytes_source cut(data, /*abort after*/ 5);   // throws ketrel_io::exception_aborted once 5 bytes were read

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/io_exceptions.h"

namespace metadata_test {

class bytes_source final : public byte_source {
public:
    explicit bytes_source(std::vector<uint8_t> data, size_t abort_after = SIZE_MAX)
        : m_data(std::move(data)), m_abort_after(abort_after) {}

    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        abort.check();
        if (m_position >= m_abort_after) throw ketrel_io::exception_aborted();
        size_t take = std::min(n, m_data.size() - m_position);
        if (take) std::memcpy(buffer, m_data.data() + m_position, take);
        m_position += take;
        return take;
    }

    size_t position() const { return m_position; }

private:
    std::vector<uint8_t> m_data;
    size_t m_abort_after;
    size_t m_position = 0;
};

// Little-endian helpers for building streams.
inline void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

inline void put_f32(std::vector<uint8_t>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put_u32(out, bits);
}

}  // namespace metadata_test
