// Plain (x87) code of the sample conversion kernels. Every other path must give these results, except where
// sample_kernels.h says otherwise.
#include "metadata/pcm_conversion/sample_kernel_paths.h"

namespace sample_kernels_plain {

void scale_float(float* destination, const float* source, size_t count, float factor) {
    for (size_t i = 0; i < count; ++i) destination[i] = single_precision(source[i] * factor);
}

void float_to_int16(int16_t* destination, const float* source, size_t count, float factor) {
    const float k = single_precision(factor * 32768.0f);
    for (size_t i = 0; i < count; ++i) {
        const float product = single_precision(source[i] * k);
        int32_t value;
        if (!(product >= -32768.0f))  // also NaN
            value = -32768;
        else if (product >= 32767.0f)
            value = 32767;
        else
            value = round_to_int32(product);
        destination[i] = static_cast<int16_t>(value);
    }
}

void float_to_int32(int32_t* destination, const float* source, size_t count, float factor) {
    const float k = single_precision(factor * 2147483648.0f);
    for (size_t i = 0; i < count; ++i) {
        const float product = single_precision(source[i] * k);
        int32_t value;
        if (!(product >= -2147483648.0f))  // also NaN
            value = INT32_MIN;
        else if (product >= 2147483648.0f)
            value = INT32_MAX;
        else
            value = round_to_int32(product);  // a float below 2^31 is at most 2147483520
        destination[i] = value;
    }
}

void int32_to_float(float* destination, const int32_t* source, size_t count, float factor) {
    const float k = single_precision(factor * (1.0f / 2147483648.0f));
    for (size_t i = 0; i < count; ++i) {
        const float value = single_precision(static_cast<float>(source[i]));
        destination[i] = single_precision(value * k);
    }
}

void int16_to_float(float* destination, const int16_t* source, size_t count) {
    for (size_t i = 0; i < count; ++i) destination[i] = static_cast<float>(source[i]) * (1.0f / 32768.0f);
}

}  // namespace sample_kernels_plain
