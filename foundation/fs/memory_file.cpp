#include "foundation/fs/memory_file.h"

#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

file_stream_ref memory_file::create() {
    return file_stream_ref::adopt(new memory_file());
}

size_t memory_file::read(void* buffer, size_t n, const abort_signal& abort) {
    abort.check();
    uint32_t left = m_data.count() - m_position;
    size_t take = n < left ? n : left;
    if (take) std::memcpy(buffer, m_data.data() + m_position, take);
    m_position += static_cast<uint32_t>(take);
    return take;
}

void memory_file::write(const void* buffer, size_t n, const abort_signal& abort) {
    abort.check();
    uint64_t end = static_cast<uint64_t>(m_position) + n;
    if (end > 0xFFFFFFFFu) kpl::throw_bad_alloc();
    if (end > m_data.count()) m_data.resize_pow2_shrink(static_cast<uint32_t>(end));
    if (n) std::memcpy(m_data.data() + m_position, buffer, n);
    m_position = static_cast<uint32_t>(end);
}

uint64_t memory_file::get_size(const abort_signal& abort) {
    abort.check();
    return m_data.count();
}

uint64_t memory_file::get_position(const abort_signal& abort) {
    abort.check();
    return m_position;
}

void memory_file::resize(uint64_t size, const abort_signal& abort) {
    abort.check();
    if (size > 0xFFFFFFFFu) throw kpl::exception_overflow();
    m_data.resize_pow2_shrink(static_cast<uint32_t>(size));
    if (m_position > size) m_position = static_cast<uint32_t>(size);
}

void memory_file::seek(uint64_t position, const abort_signal& abort) {
    abort.check();
    if (position > 0xFFFFFFFFu || position > m_data.count()) throw ketrel_io::exception_io_seek_out_of_range();
    m_position = static_cast<uint32_t>(position);
}

uint64_t memory_file::get_timestamp(const abort_signal& abort) {
    abort.check();
    return 0;
}
