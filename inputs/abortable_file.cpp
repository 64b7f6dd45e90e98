#include "inputs/abortable_file.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

void abortable_file::wrap(file_stream_ref& file, const abort_signal& abort, uint32_t capacity) {
    if (!file || capacity == 0) throw kpl::exception_invalid_params();
    file = file_stream_ref::adopt(new abortable_file(file, abort, capacity));
}

abortable_file::abortable_file(file_stream_ref file, const abort_signal& abort, uint32_t capacity)
    : m_file(file), m_abort(abort), m_can_seek(file->can_seek()) {
    abort.check();
    m_size = m_file->get_size(abort);
    m_position = m_file->get_position(abort);
    m_file_position = m_position;
    m_buffer.resize_exact(capacity);
}

void abortable_file::check(const abort_signal& abort) const {
    m_abort.check();
    abort.check();
}

void abortable_file::refill(const abort_signal& abort) {
    const uint64_t capacity = m_buffer.count();
    uint64_t start = m_position - m_position % capacity;
    if (!m_can_seek && start < m_file_position) start = m_position;  // a stream never goes back
    if (m_file_position != start) {
        if (m_can_seek) {
            m_file->seek(start, abort);
        } else {
            m_file->skip_exact(start - m_file_position, abort);
        }
        m_file_position = start;
    }
    m_buffer_fill = 0;
    m_buffer_offset = start;
    size_t got = m_file->read(m_buffer.data(), m_buffer.count(), abort);
    m_buffer_fill = static_cast<uint32_t>(got);
    m_file_position += got;
}

size_t abortable_file::read(void* buffer, size_t n, const abort_signal& abort) {
    check(abort);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
        if (m_size != file_size_unknown && m_position >= m_size) break;
        if (m_position < m_buffer_offset || m_position >= m_buffer_offset + m_buffer_fill) {
            refill(abort);
            if (m_position >= m_buffer_offset + m_buffer_fill) break;  // the wrapped file ended
        }
        uint64_t from = m_position - m_buffer_offset;
        uint64_t available = m_buffer_fill - from;
        if (m_size != file_size_unknown && m_position + available > m_size) available = m_size - m_position;
        size_t step = n - done < available ? n - done : static_cast<size_t>(available);
        std::memcpy(out + done, m_buffer.data() + from, step);
        done += step;
        m_position += step;
    }
    return done;
}

void abortable_file::write(const void* buffer, size_t n, const abort_signal& abort) {
    check(abort);
    m_buffer_fill = 0;
    if (m_file_position != m_position) {
        m_file->seek(m_position, abort);
        m_file_position = m_position;
    }
    m_file->write(buffer, n, abort);
    m_position += n;
    m_file_position = m_position;
    if (m_size == file_size_unknown || m_position > m_size) m_size = m_position;
}

uint64_t abortable_file::get_size(const abort_signal& abort) {
    check(abort);
    return m_size;
}

uint64_t abortable_file::get_position(const abort_signal& abort) {
    check(abort);
    return m_position;
}

void abortable_file::resize(uint64_t size, const abort_signal& abort) {
    check(abort);
    m_file->resize(size, abort);
    m_buffer_fill = 0;
    m_size = size;
    if (m_position > size) m_position = size;
    if (m_file_position > size) m_file_position = size;
}

void abortable_file::seek(uint64_t position, const abort_signal& abort) {
    check(abort);
    if (!m_can_seek) throw ketrel_io::exception_io_object_not_seekable();
    if (m_size != file_size_unknown && position > m_size) throw ketrel_io::exception_io_seek_out_of_range();
    m_position = position;
}

void abortable_file::on_idle(const abort_signal& abort) {
    check(abort);
    m_file->on_idle(abort);
}

uint64_t abortable_file::get_timestamp(const abort_signal& abort) {
    check(abort);
    return m_file->get_timestamp(abort);
}
