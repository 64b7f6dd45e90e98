// SSE paths of the sample conversion kernels. Compiled for SSE (with MMX for the integer halves) through
// function attributes, since the program as a whole targets any i686; called only when the processor has SSE.
#include "metadata/pcm_conversion/sample_kernel_paths.h"

#include <cstring>
#include <xmmintrin.h>

#define VORN_SSE __attribute__((target("sse,mmx")))

namespace sample_kernels_sse {

VORN_SSE size_t scale_float(float* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(7);
    const __m128 k = _mm_set1_ps(factor);
    for (size_t i = 0; i < whole; i += 8) {
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_loadu_ps(source + i), k));
        _mm_storeu_ps(destination + i + 4, _mm_mul_ps(_mm_loadu_ps(source + i + 4), k));
    }
    return whole;
}

// Four products limited to lo..hi; NaN becomes lo, as in the plain code.
VORN_SSE static inline __m128 limit(__m128 product, __m128 lo, __m128 hi) {
    // maxps answers its second operand when either is NaN.
    return _mm_min_ps(_mm_max_ps(product, lo), hi);
}

VORN_SSE size_t float_to_int16(int16_t* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(7);
    const __m128 k = _mm_set1_ps(factor * 32768.0f);
    // Limiting before the conversion keeps products beyond the 32-bit range from turning into the
    // conversion's "indefinite" value (-2^31, which would saturate to -32768 even for a huge positive sample).
    const __m128 lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f);
    for (size_t i = 0; i < whole; i += 8) {
        const __m64 a = _mm_cvtps_pi16(limit(_mm_mul_ps(_mm_loadu_ps(source + i), k), lo, hi));
        const __m64 b = _mm_cvtps_pi16(limit(_mm_mul_ps(_mm_loadu_ps(source + i + 4), k), lo, hi));
        std::memcpy(destination + i, &a, 8);
        std::memcpy(destination + i + 4, &b, 8);
    }
    _mm_empty();
    return whole;
}

VORN_SSE size_t float_to_int32(int32_t* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(7);
    const __m128 k = _mm_set1_ps(factor * 2147483648.0f);
    const __m128 top = _mm_set1_ps(2147483520.0f);  // 0x4EFFFFFF, the largest float below 2^31
    for (size_t i = 0; i < whole; i += 4) {
        // minps answers its second operand when either is NaN: NaN stays NaN and converts to -2^31.
        const __m128 product = _mm_min_ps(top, _mm_mul_ps(_mm_loadu_ps(source + i), k));
        const __m64 low = _mm_cvtps_pi32(product);
        const __m64 high = _mm_cvtps_pi32(_mm_movehl_ps(product, product));
        std::memcpy(destination + i, &low, 8);
        std::memcpy(destination + i + 2, &high, 8);
    }
    _mm_empty();
    return whole;
}

VORN_SSE size_t int32_to_float(float* destination, const int32_t* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(3);
    const __m128 k = _mm_set1_ps(factor * (1.0f / 2147483648.0f));
    for (size_t i = 0; i < whole; i += 4) {
        __m64 low, high;
        std::memcpy(&low, source + i, 8);
        std::memcpy(&high, source + i + 2, 8);
        _mm_storeu_ps(destination + i, _mm_mul_ps(_mm_cvtpi32x2_ps(low, high), k));
    }
    _mm_empty();
    return whole;
}

}  // namespace sample_kernels_sse
