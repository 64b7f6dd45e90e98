#include "foundation/fs/buffered_streams.h"

#include <cstring>

buffered_reader::buffered_reader(byte_source& source, uint32_t capacity) : m_source(source) {
    m_buffer.resize_exact(capacity ? capacity : 1);
}

size_t buffered_reader::read(void* buffer, size_t n, const abort_signal& abort) {
    abort.check();
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
        if (m_index == m_fill) {
            m_index = 0;
            m_fill = static_cast<uint32_t>(m_source.read(m_buffer.data(), m_buffer.count(), abort));
            if (m_fill == 0) break;
        }
        size_t available = m_fill - m_index;
        size_t take = n - done < available ? n - done : available;
        std::memcpy(out + done, m_buffer.data() + m_index, take);
        m_index += static_cast<uint32_t>(take);
        done += take;
    }
    return done;
}

buffered_writer::buffered_writer(byte_sink& sink, uint32_t capacity) : m_sink(sink) {
    m_buffer.resize_exact(capacity ? capacity : 1);
}

void buffered_writer::flush(const abort_signal& abort) {
    if (m_fill == 0) return;
    m_sink.write(m_buffer.data(), m_fill, abort);
    m_fill = 0;
}

void buffered_writer::write(const void* buffer, size_t n, const abort_signal& abort) {
    abort.check();
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    uint32_t capacity = m_buffer.count();
    if (n >= capacity) {
        flush(abort);
        m_sink.write(in, n, abort);
        return;
    }
    if (m_fill + n >= capacity) {
        size_t top_up = capacity - m_fill;
        std::memcpy(m_buffer.data() + m_fill, in, top_up);
        m_fill = capacity;
        flush(abort);
        in += top_up;
        n -= top_up;
    }
    std::memcpy(m_buffer.data() + m_fill, in, n);
    m_fill += static_cast<uint32_t>(n);
}
