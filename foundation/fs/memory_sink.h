#pragma once
// memory_sink: a byte_sink that appends to a growing buffer in memory.
//
//   memory_sink out;
//   stream_writer w(out, abort_never);
//   w.write_uint32(1);
//   w.write_string("ab");
//   out.size() == 10;  out.data()[4] == 2;
//
// The buffer stays below 4 GiB (std::bad_alloc "bad allocation" beyond).

#include <cstddef>
#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/array.h"

class memory_sink : public byte_sink {
public:
    memory_sink() = default;
    memory_sink(const memory_sink&) = delete;
    memory_sink& operator=(const memory_sink&) = delete;

    void write(const void* buffer, size_t n, const abort_signal& abort) override;

    const uint8_t* data() const { return m_data.data(); }
    uint32_t size() const { return m_data.count(); }
    // Empties the buffer (its storage is freed).
    void clear() { m_data.clear(); }

private:
    kpl::array<uint8_t> m_data;
};
