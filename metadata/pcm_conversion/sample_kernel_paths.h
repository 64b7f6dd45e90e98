#pragma once
// The individual paths behind the kernels of sample_kernels.h, and the rounding helpers of the plain code.
//
// Each vector function converts the largest whole number of its blocks that fits in `count` and returns how
// many values it did; the dispatcher hands the rest to the plain code. The vector functions are compiled for
// their instruction set only (function target attributes), so they may be called only when the processor has
// it. Callers outside the kernels use sample_kernels.h.

#include <cstddef>
#include <cstdint>

// The program runs on any i686, so plain floating-point code runs on the x87 unit, which keeps intermediate
// results at extended precision. These helpers pin down the rounding steps the kernels promise.

// Rounds an intermediate result to single precision (a store to a float in memory rounds it).
inline float single_precision(float value) {
    __asm__("" : "+m"(value));
    return value;
}

// Rounds to a 32-bit integer in the current rounding mode (nearest, ties to even, as the program keeps it).
// A value outside the 32-bit range, or NaN, gives -2^31.
inline int32_t round_to_int32(float value) {
    int32_t result;
    __asm__("fistpl %0" : "=m"(result) : "t"(value) : "st");
    return result;
}

// The same for a double-precision value and a 64-bit integer.
inline int64_t round_to_int64(double value) {
    int64_t result;
    __asm__("fistpll %0" : "=m"(result) : "t"(value) : "st");
    return result;
}

namespace sample_kernels_plain {
void scale_float(float* destination, const float* source, size_t count, float factor);
void float_to_int16(int16_t* destination, const float* source, size_t count, float factor);
void float_to_int32(int32_t* destination, const float* source, size_t count, float factor);
void int32_to_float(float* destination, const int32_t* source, size_t count, float factor);
void int16_to_float(float* destination, const int16_t* source, size_t count);
}  // namespace sample_kernels_plain

namespace sample_kernels_sse {
size_t scale_float(float* destination, const float* source, size_t count, float factor);      // blocks of 8
size_t float_to_int16(int16_t* destination, const float* source, size_t count, float factor); // blocks of 8
size_t float_to_int32(int32_t* destination, const float* source, size_t count, float factor); // blocks of 8
size_t int32_to_float(float* destination, const int32_t* source, size_t count, float factor); // blocks of 4
}  // namespace sample_kernels_sse

namespace sample_kernels_sse2 {
size_t float_to_int16(int16_t* destination, const float* source, size_t count, float factor); // blocks of 16
size_t float_to_int32(int32_t* destination, const float* source, size_t count, float factor); // blocks of 8
size_t int32_to_float(float* destination, const int32_t* source, size_t count, float factor); // blocks of 8
// Plain code until the destination is 16-byte aligned, then blocks of 32.
size_t int16_to_float(float* destination, const int16_t* source, size_t count);
}  // namespace sample_kernels_sse2

namespace sample_kernels_3dnow {
size_t scale_float(float* destination, const float* source, size_t count, float factor);      // blocks of 8
// Blocks of 4; truncates toward zero with saturation.
size_t float_to_int32(int32_t* destination, const float* source, size_t count, float factor);
}  // namespace sample_kernels_3dnow
