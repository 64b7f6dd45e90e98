// 3DNow! paths of the sample conversion kernels (older AMD processors), compiled for 3DNow! through function
// attributes and called only when the processor has it. Current processors lack 3DNow!, so on them these
// functions are built but never run.
#include "metadata/pcm_conversion/sample_kernel_paths.h"

#include <cstring>
#include <mm3dnow.h>

#define VORN_3DNOW __attribute__((target("3dnow,mmx")))

namespace sample_kernels_3dnow {

VORN_3DNOW static inline __m64 pair_of(float value) {
    const float both[2] = {value, value};
    __m64 pair;
    std::memcpy(&pair, both, 8);
    return pair;
}

VORN_3DNOW size_t scale_float(float* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(7);
    const __m64 k = pair_of(factor);
    for (size_t i = 0; i < whole; i += 2) {
        __m64 v;
        std::memcpy(&v, source + i, 8);
        v = _m_pfmul(v, k);
        std::memcpy(destination + i, &v, 8);
    }
    _m_femms();
    return whole;
}

VORN_3DNOW size_t float_to_int32(int32_t* destination, const float* source, size_t count, float factor) {
    const size_t whole = count & ~size_t(3);
    const __m64 k = pair_of(factor * 2147483648.0f);
    for (size_t i = 0; i < whole; i += 2) {
        __m64 v;
        std::memcpy(&v, source + i, 8);
        v = _m_pf2id(_m_pfmul(v, k));  // truncates toward zero, saturating at the 32-bit limits
        std::memcpy(destination + i, &v, 8);
    }
    _m_femms();
    return whole;
}

}  // namespace sample_kernels_3dnow
