#pragma once
// box_buffer: a growable byte buffer in which a rebuilt box is assembled before it is appended to its parent's
// buffer. Its capacity starts at 1 byte and doubles until the data fits:
//
//     atomkit::box_buffer b;
//     b.append("abc", 3);       // capacity 1 -> 2 -> 4; size 3
//     b.append("de", 2);        // capacity 8; size 5
//     b.append(p, SIZE_MAX);    // std::bad_alloc ("bad allocation"); the buffer keeps its 5 bytes

#include <cstddef>
#include <cstdint>

namespace atomkit {

class box_buffer {
public:
    box_buffer() = default;
    ~box_buffer();
    box_buffer(const box_buffer&) = delete;
    box_buffer& operator=(const box_buffer&) = delete;
    box_buffer(box_buffer&& other) noexcept;
    box_buffer& operator=(box_buffer&& other) noexcept;

    void append(const void* bytes, size_t n);

    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }

private:
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

}  // namespace atomkit
