#pragma once
// A byte array whose first 1024 bytes live inside the object and whose further bytes live in one
// heap block, for scratch data that is usually small (8192 bits of a visited-positions set fit
// without touching the heap). Bytes are zero after resize.
//
//     kpl::small_buffer b;
//     b.resize(2000);        // 1024 bytes inline, 976 on the heap
//     b.set_bit(9000);       // byte 1125, on the heap
//     b.inline_part(1025);   // throws kpl::exception_overflow "Overflow"

#include <cstddef>
#include <cstdint>

namespace kpl {

class small_buffer {
public:
    static constexpr size_t inline_size = 1024;

    small_buffer() = default;
    small_buffer(const small_buffer&) = delete;
    small_buffer& operator=(const small_buffer&) = delete;
    ~small_buffer();

    // Sets the size to n bytes, all zero.
    void resize(size_t n);
    size_t size() const { return m_size; }

    uint8_t& operator[](size_t i) { return i < inline_size ? m_inline[i] : m_heap[i - inline_size]; }
    uint8_t operator[](size_t i) const { return i < inline_size ? m_inline[i] : m_heap[i - inline_size]; }

    bool bit(size_t i) const { return ((*this)[i >> 3] >> (i & 7)) & 1; }
    void set_bit(size_t i) { (*this)[i >> 3] |= static_cast<uint8_t>(1u << (i & 7)); }

    // The inline bytes for a caller that needs n contiguous bytes; more than 1024 throws "Overflow".
    uint8_t* inline_part(size_t n);

private:
    uint8_t m_inline[inline_size] = {};
    uint8_t* m_heap = nullptr;
    size_t m_size = 0;
};

}  // namespace kpl
