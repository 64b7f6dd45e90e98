#include "compressed_inputs/mp4/atomkit/box_buffer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "foundation/kpl/exceptions.h"

namespace atomkit {

box_buffer::~box_buffer() { std::free(m_data); }

box_buffer::box_buffer(box_buffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)) {}

box_buffer& box_buffer::operator=(box_buffer&& other) noexcept {
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

void box_buffer::append(const void* bytes, size_t n) {
    if (n == 0) return;
    if (n > SIZE_MAX - m_size) kpl::throw_bad_alloc();
    size_t needed = m_size + n;
    if (needed > m_capacity) {
        size_t capacity = m_capacity ? m_capacity : 1;
        while (capacity < needed) {
            if (capacity > SIZE_MAX / 2) kpl::throw_bad_alloc();
            capacity *= 2;
        }
        void* grown = std::realloc(m_data, capacity);
        if (!grown) kpl::throw_bad_alloc();
        m_data = static_cast<uint8_t*>(grown);
        m_capacity = capacity;
    }
    std::memcpy(m_data + m_size, bytes, n);
    m_size = needed;
}

}  // namespace atomkit
