#include "foundation/fs/file_segment.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

file_stream_ref file_segment::create(file_stream& file, uint64_t start, uint64_t size) {
    if (size > ~start) throw kpl::exception_overflow();
    return file_stream_ref::adopt(new file_segment(file, start, start + size));
}

size_t file_segment::read(void* buffer, size_t n, const abort_signal& abort) {
    uint64_t position = m_file->get_position(abort);
    if (position < m_start || position >= m_end) {
        abort.check();
        return 0;
    }
    uint64_t left = m_end - position;
    if (left < n) n = static_cast<size_t>(left);
    return m_file->read(buffer, n, abort);
}

void file_segment::write(const void*, size_t, const abort_signal&) { throw ketrel_io::exception_io_denied(); }

void file_segment::resize(uint64_t, const abort_signal&) { throw ketrel_io::exception_io_denied(); }

uint64_t file_segment::get_size(const abort_signal& abort) {
    abort.check();
    return m_end - m_start;
}

uint64_t file_segment::get_position(const abort_signal& abort) {
    uint64_t position = m_file->get_position(abort);
    if (position < m_start) return 0;
    if (position > m_end) return m_end - m_start;
    return position - m_start;
}

void file_segment::seek(uint64_t position, const abort_signal& abort) {
    abort.check();
    if (position > m_end - m_start) throw ketrel_io::exception_io_seek_out_of_range();
    m_file->seek(m_start + position, abort);
}

void file_segment_open(file_stream_ref& out, file_stream& file, uint64_t start, uint64_t size,
                       const abort_signal& abort) {
    file_stream_ref segment = file_segment::create(file, start, size);
    file.seek(start, abort);
    out = segment;
}
