#include "foundation/kpl/small_buffer.h"

#include "foundation/kpl/exceptions.h"

#include <cstring>
#include <cstdlib>

namespace kpl {

small_buffer::~small_buffer() { std::free(m_heap); }

void small_buffer::resize(size_t n) {
    uint8_t* heap = nullptr;
    if (n > inline_size) {
        heap = static_cast<uint8_t*>(std::calloc(n - inline_size, 1));
        if (!heap) throw_bad_alloc();
    }
    std::free(m_heap);
    m_heap = heap;
    m_size = n;
    std::memset(m_inline, 0, sizeof m_inline);
}

uint8_t* small_buffer::inline_part(size_t n) {
    if (n > inline_size) throw_overflow();
    return m_inline;
}

}  // namespace kpl
