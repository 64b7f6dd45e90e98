#include "compressed_inputs/mp4/atomkit/atom_stream.h"

#include <cstring>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"

namespace atomkit {

size_t atom_stream::read(void* buffer, size_t n) {
    if (n > m_remaining) n = static_cast<size_t>(m_remaining);
    size_t got = m_parent.read(buffer, n);
    if (got > n) throw exception("bug: stream read more bytes than asked for");
    m_remaining -= got;
    return got;
}

void atom_stream::read_exact(void* buffer, size_t n) {
    if (n > m_remaining) throw exception("attempting to read past end of atom");
    m_parent.read_exact(buffer, n);
    m_remaining -= n;
}

uint64_t atom_stream::skip(uint64_t n) {
    if (n > m_remaining) n = m_remaining;
    uint64_t done = m_parent.skip(n);
    if (done > n) throw exception("bug: stream read more bytes than asked for");
    m_remaining -= done;
    return done;
}

void atom_stream::skip_exact(uint64_t n) {
    if (n > m_remaining) throw exception("attempting to skip past end of atom");
    m_parent.skip_exact(n);
    m_remaining -= n;
}

void atom_stream::check_available(uint64_t n) {
    if (n > m_remaining) throw exception_truncation();
}

void atom_stream::finish() {
    if (m_remaining != 0) skip_exact(m_remaining);
}

size_t memory_atom_stream::read(void* buffer, size_t n) {
    size_t left = m_size - m_position;
    if (n > left) n = left;
    if (n) std::memcpy(buffer, m_data + m_position, n);
    m_position += n;
    return n;
}

void memory_atom_stream::read_exact(void* buffer, size_t n) {
    check_available(n);
    read(buffer, n);
}

uint64_t memory_atom_stream::skip(uint64_t n) {
    size_t left = m_size - m_position;
    if (n > left) n = left;
    m_position += static_cast<size_t>(n);
    return n;
}

void memory_atom_stream::skip_exact(uint64_t n) {
    check_available(n);
    skip(n);
}

void memory_atom_stream::check_available(uint64_t n) {
    if ((n >> 32) != 0 || n > m_size - m_position) throw exception_truncation();
}

}  // namespace atomkit
