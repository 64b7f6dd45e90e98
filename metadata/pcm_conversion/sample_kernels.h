#pragma once
// Sample conversion kernels: 32-bit float samples to and from integer PCM.
//
// Full scale is -1.0 .. +1.0; an n-bit integer s stands for s x 2^-(n-1). Every kernel takes its arguments in
// the same order, (destination, source, count, factor), works on `count` values and expects source and
// destination not to overlap. Float-to-integer conversions round to nearest with ties to even, from the
// product rounded to single precision.
//
//     int16_t pcm[4];
//     float in[4] = {1.0f, -1.0f, 0.5f, 1.0f / 65536};
//     audio_float_to_int16(pcm, in, 4, 1.0f);   // pcm = {32767, -32768, 16384, 0}
//
// Each kernel has plain code and, where the processor allows, vector paths (SSE2, SSE, 3DNow!) chosen once per
// call from the features read at start-up; a count that is not a whole number of vector blocks has its tail
// done by the plain code. The vector paths give the plain code's results with two exceptions:
// - `audio_float_to_int32` on the SSE2 and SSE paths limits the product to 2147483520.0 (the largest
//   single-precision value below 2^31) before converting, so full scale gives 2147483520, not 2147483647;
// - the 3DNow! path of `audio_float_to_int32` truncates toward zero instead of rounding.

#include <cstddef>
#include <cstdint>

// destination[i] = source[i] x factor.
void audio_scale_float(float* destination, const float* source, size_t count, float factor);

// destination[i] = source[i] x factor x 32768, rounded and limited to -32768..32767.
void audio_float_to_int16(int16_t* destination, const float* source, size_t count, float factor);

// destination[i] = source[i] x factor x 2^31, rounded and limited to -2^31..2^31-1 (see above for the vector
// paths' upper limit).
void audio_float_to_int32(int32_t* destination, const float* source, size_t count, float factor);

// destination[i] = source[i] x factor x 2^-31.
void audio_int32_to_float(float* destination, const int32_t* source, size_t count, float factor);

// destination[i] = source[i] x 2^-15 (exact).
void audio_int16_to_float(float* destination, const int16_t* source, size_t count);

// The vector paths the kernels may take. Read at static initialisation from the processor's features.
struct sample_kernel_paths {
    bool sse2 = false;
    bool sse = false;
    bool amd_3dnow = false;
};

// The paths the processor supports.
sample_kernel_paths sample_kernel_paths_supported();

// The paths the kernels take now.
sample_kernel_paths sample_kernel_paths_active();

// For tests and benchmarks only: makes the kernels take only the given paths (each still limited to what the
// processor supports, so forcing a missing feature falls back instead of faulting) and returns the paths that
// were active before. Not thread-safe; the program itself never calls it.
//
//     sample_kernel_paths before = sample_kernel_paths_force({});   // plain code only
//     ...
//     sample_kernel_paths_force(before);
sample_kernel_paths sample_kernel_paths_force(sample_kernel_paths paths);
