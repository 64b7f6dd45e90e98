#pragma once
// Small buffer helpers and the high-resolution counter.
//
//     uint8_t b[] = {1, 2, 3};  kpl::reverse_bytes(b, 3);   // {3, 2, 1}
//     uint64_t t = qpc_stopwatch::read_counter();          // QueryPerformanceCounter ticks

#include <cstddef>
#include <cstdint>

namespace kpl {

// Reverses n bytes in place.
void reverse_bytes(void* buffer, size_t n);

// Copies count 32-bit words (the ranges must not overlap).
void copy_dwords(uint32_t* destination, const uint32_t* source, size_t count);

}  // namespace kpl

class qpc_stopwatch {
public:
    // The performance counter; throws kpl::exception_not_implemented when the platform has none.
    static uint64_t read_counter();
};
