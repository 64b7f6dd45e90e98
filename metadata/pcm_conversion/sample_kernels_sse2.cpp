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

VORN_SSE2 size_t float_to_int16(int16_t* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(15);
    const __m128 k = _mm_set1_ps(factor * 32768.0f);
    // Only the upper limit is applied before the conversion: a product at or above 2^31 would convert to
    // -2^31. minps answers its second operand when either is NaN, so NaN stays NaN and converts to -2^31, as
    // every product below -32768 converts to a value at or below it; the saturating pack makes all of those
    // -32768, the plain code's lower limit.
    const __m128 hi = _mm_set1_ps(32767.0f);
    for (size_t i = 0; i < whole; i += 16) {
        const __m128i a = _mm_cvtps_epi32(_mm_min_ps(hi, _mm_mul_ps(_mm_loadu_ps(source + i), k)));
        const __m128i b = _mm_cvtps_epi32(_mm_min_ps(hi, _mm_mul_ps(_mm_loadu_ps(source + i + 4), k)));
        const __m128i c = _mm_cvtps_epi32(_mm_min_ps(hi, _mm_mul_ps(_mm_loadu_ps(source + i + 8), k)));
        const __m128i d = _mm_cvtps_epi32(_mm_min_ps(hi, _mm_mul_ps(_mm_loadu_ps(source + i + 12), k)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), _mm_packs_epi32(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i + 8), _mm_packs_epi32(c, d));
    }
    return whole;
}

VORN_SSE2 size_t int32_to_float(float* destination, const int32_t* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(7);
    const __m128 k = _mm_set1_ps(factor * (1.0f / 2147483648.0f));
    for (size_t i = 0; i < whole; i += 8) {
        // cvtdq2ps rounds to nearest as the plain code's store to single precision does.
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtepi32_ps(a), k));
        _mm_storeu_ps(destination + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(b), k));
    }
    return whole;
}

VORN_SSE2 size_t int16_to_float(float* destination, const int16_t* source, size_t count) {
    size_t head = (16 - (reinterpret_cast<uintptr_t>(destination) & 15)) / 4 & 3;
    if (reinterpret_cast<uintptr_t>(destination) & 3) head = count;  // never aligns: all plain
    if (head > count) head = count;
    sample_kernels_plain::int16_to_float(destination, source, head);
    const size_t whole = (count - head) & ~size_t(31);
    // s x 2^-15 without a conversion: the bits 0x4380 above (s + 32768) make the float 256 + (s + 32768) x
    // 2^-15 = 257 + s x 2^-15 (the step between floats from 256 to 512 is 2^-15), and taking 257 away is exact.
    const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    const __m128i top = _mm_set1_epi16(0x4380);
    const __m128 bias = _mm_set1_ps(257.0f);
    for (size_t i = head; i < head + whole; i += 32) {
        // Four loads ahead of the eight stores: the stores, not the arithmetic, set the pace.
        const __m128i a = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i)), flip);
        const __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 8)), flip);
        const __m128i c = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 16)), flip);
        const __m128i d = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 24)), flip);
        _mm_store_ps(destination + i, _mm_sub_ps(_mm_castsi128_ps(_mm_unpacklo_epi16(a, top)), bias));
        _mm_store_ps(destination + i + 4, _mm_sub_ps(_mm_castsi128_ps(_mm_unpackhi_epi16(a, top)), bias));
        _mm_store_ps(destination + i + 8, _mm_sub_ps(_mm_castsi128_ps(_mm_unpacklo_epi16(b, top)), bias));
        _mm_store_ps(destination + i + 12, _mm_sub_ps(_mm_castsi128_ps(_mm_unpackhi_epi16(b, top)), bias));
        _mm_store_ps(destination + i + 16, _mm_sub_ps(_mm_castsi128_ps(_mm_unpacklo_epi16(c, top)), bias));
        _mm_store_ps(destination + i + 20, _mm_sub_ps(_mm_castsi128_ps(_mm_unpackhi_epi16(c, top)), bias));
        _mm_store_ps(destination + i + 24, _mm_sub_ps(_mm_castsi128_ps(_mm_unpacklo_epi16(d, top)), bias));
        _mm_store_ps(destination + i + 28, _mm_sub_ps(_mm_castsi128_ps(_mm_unpackhi_epi16(d, top)), bias));
    }
    return head + whole;
}

}  // namespace sample_kernels_sse2
