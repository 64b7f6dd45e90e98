#include "inputs/flac/flac_samples.h"

#include <emmintrin.h>

#include "metadata/pcm_conversion/cpu_features.h"

#define VORN_SSE2 __attribute__((target("sse2")))

namespace {

// The SSE2 path of one and two channels; answers the sample frames it did (a multiple of 4).
VORN_SSE2 uint32_t convert_sse2(float* out, const int32_t* const* planes, uint32_t channels, uint32_t count,
                                float scale) {
    const uint32_t whole = count & ~3u;
    const __m128 k = _mm_set1_ps(scale);
    if (channels == 1) {
        const int32_t* in = planes[0];
        for (uint32_t i = 0; i < whole; i += 4) {
            const __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))), k);
            _mm_storeu_ps(out + i, v);
        }
        return whole;
    }
    const int32_t* left = planes[0];
    const int32_t* right = planes[1];
    for (uint32_t i = 0; i < whole; i += 4) {
        const __m128 l = _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(left + i))), k);
        const __m128 r = _mm_mul_ps(_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i))), k);
        _mm_storeu_ps(out + 2 * i, _mm_unpacklo_ps(l, r));
        _mm_storeu_ps(out + 2 * i + 4, _mm_unpackhi_ps(l, r));
    }
    return whole;
}

const bool g_sse2 = cpu_has_features(cpu_feature_sse2);

}  // namespace

void flac_samples_to_float(float* out, const int32_t* const* planes, uint32_t channels, uint32_t count,
                           uint32_t bits) {
    const float scale = static_cast<float>(1.0 / static_cast<double>(1ULL << (bits - 1)));
    uint32_t done = 0;
    if (g_sse2 && channels <= 2) done = convert_sse2(out, planes, channels, count, scale);
    for (uint32_t c = 0; c < channels; ++c) {
        const int32_t* in = planes[c];
        float* o = out + static_cast<size_t>(done) * channels + c;
        for (uint32_t i = done; i < count; ++i, o += channels) *o = static_cast<float>(in[i]) * scale;
    }
}
