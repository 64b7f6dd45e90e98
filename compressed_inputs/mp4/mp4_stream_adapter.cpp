#include "compressed_inputs/mp4/mp4_stream_adapter.h"

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"

size_t mp4_stream_adapter::read(void* buffer, size_t n) { return m_file.read(buffer, n, m_abort); }

void mp4_stream_adapter::read_exact(void* buffer, size_t n) {
    if (m_file.read(buffer, n, m_abort) != n) throw atomkit::exception_truncation();
}

uint64_t mp4_stream_adapter::skip(uint64_t n) {
    if (n > 256 && m_file.can_seek()) {
        const uint64_t size = m_file.get_size(m_abort);
        if (size != file_size_unknown) {
            const uint64_t pos = m_file.get_position(m_abort);
            if (pos > size) throw ketrel_io::exception_io_data();
            if (n > size - pos) n = size - pos;
            m_file.seek(pos + n, m_abort);
            return n;
        }
    }
    return m_file.skip(n, m_abort);
}

void mp4_stream_adapter::skip_exact(uint64_t n) {
    if (skip(n) != n) throw atomkit::exception_truncation();
}

void mp4_stream_adapter::check_available(uint64_t n) {
    const uint64_t size = m_file.get_size(m_abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    const uint64_t pos = m_file.get_position(m_abort);
    if (pos > size || n > size - pos) throw atomkit::exception_truncation();
}

uint64_t mp4_stream_adapter::position() { return m_file.get_position(m_abort); }

void mp4_stream_adapter::seek(uint64_t offset) {
    if (m_file.can_seek()) {
        m_file.seek(offset, m_abort);
        return;
    }
    const uint64_t pos = m_file.get_position(m_abort);
    if (offset < pos) throw atomkit::exception("stream seeking error");
    m_file.skip(offset - pos, m_abort);
}

uint64_t mp4_stream_adapter::size() {
    const uint64_t size = m_file.get_size(m_abort);
    return size == file_size_unknown ? atomkit::unknown_size : size;
}

void mp4_stream_adapter::truncate(uint64_t size) { m_file.resize(size, m_abort); }

void mp4_stream_adapter::write(const void* buffer, size_t n) { m_file.write(buffer, n, m_abort); }
