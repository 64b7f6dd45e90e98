#include "foundation/kpl/small_buffer.h"

#include "foundation/kpl/exceptions.h"

#include <cstring>
#include <new>

namespace kpl {

small_buffer::~small_buffer() { delete[] m_heap; }

void small_buffer::resize(size_t n) {
    uint8_t* heap = nullptr;
    if (n > inline_size) heap = new uint8_t[n - inline_size]();
    delete[] m_heap;
    m_heap = heap;
    m_size = n;
    std::memset(m_inline, 0, sizeof m_inline);
}

uint8_t* small_buffer::inline_part(size_t n) {
    if (n > inline_size) throw_overflow();
    return m_inline;
}

}  // namespace kpl
