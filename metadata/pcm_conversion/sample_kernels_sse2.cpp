// SSE2 paths of the sample conversion kernels, compiled for SSE2 through function attributes and called only
// when the processor has it.
#include "metadata/pcm_conversion/sample_kernel_paths.h"

#include <emmintrin.h>

#define VORN_SSE2 __attribute__((target("sse2")))

namespace sample_kernels_sse2 {

VORN_SSE2 size_t float_to_int32(int32_t* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(7);
    const __m128 k = _mm_set1_ps(factor * 2147483648.0f);
    const __m128 top = _mm_set1_ps(2147483520.0f);  // 0x4EFFFFFF, the largest float below 2^31
    for (size_t i = 0; i < whole; i += 8) {
        // minps answers its second operand when either is NaN: NaN stays NaN and converts to -2^31, as do
        // products below -2^31.
        const __m128 a = _mm_min_ps(top, _mm_mul_ps(_mm_loadu_ps(source + i), k));
        const __m128 b = _mm_min_ps(top, _mm_mul_ps(_mm_loadu_ps(source + i + 4), k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_cvtps_epi32(a));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i + 4), _mm_cvtps_epi32(b));
    }
    return whole;
}

VORN_SSE2 size_t int16_to_float(float* destination, const int16_t* source, size_t count) {
    size_t head = (16 - (reinterpret_cast<uintptr_t>(destination) & 15)) / 4 & 3;
    if (reinterpret_cast<uintptr_t>(destination) & 3) head = count;  // never aligns: all plain
    if (head > count) head = count;
    sample_kernels_plain::int16_to_float(destination, source, head);
    const size_t whole = (count - head) & ~size_t(7);
    const __m128 k = _mm_set1_ps(1.0f / 32768.0f);
    for (size_t i = head; i < head + whole; i += 8) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        // Sign-extend each 16-bit value into the top of a 32-bit lane, then shift it down.
        const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
        const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16);
        _mm_store_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(low), k));
        _mm_store_ps(destination + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(high), k));
    }
    return head + whole;
}

}  // namespace sample_kernels_sse2
