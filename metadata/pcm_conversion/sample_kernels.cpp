// The kernels' entry points: each takes one path per call from the features read at start-up and leaves the
// tail beyond the last whole vector block to the plain code.
#include "metadata/pcm_conversion/sample_kernels.h"

#include "metadata/pcm_conversion/cpu_features.h"
#include "metadata/pcm_conversion/sample_kernel_paths.h"

static sample_kernel_paths read_supported_paths() {
    sample_kernel_paths paths;
    paths.sse2 = cpu_has_features(cpu_feature_sse2);
    paths.sse = cpu_has_features(cpu_feature_sse);
    paths.amd_3dnow = cpu_has_features(cpu_feature_3dnow);
    return paths;
}

// Zero-initialised before any dynamic initialiser runs, so a kernel called earlier takes the plain code.
static sample_kernel_paths supported_paths = read_supported_paths();
static sample_kernel_paths active_paths = supported_paths;

sample_kernel_paths sample_kernel_paths_supported() { return supported_paths; }

sample_kernel_paths sample_kernel_paths_active() { return active_paths; }

sample_kernel_paths sample_kernel_paths_force(sample_kernel_paths paths) {
    const sample_kernel_paths before = active_paths;
    active_paths.sse2 = paths.sse2 && supported_paths.sse2;
    active_paths.sse = paths.sse && supported_paths.sse;
    active_paths.amd_3dnow = paths.amd_3dnow && supported_paths.amd_3dnow;
    return before;
}

void audio_scale_float(float* destination, const float* source, size_t count, float factor) {
    size_t done = 0;
    if (active_paths.amd_3dnow)
        done = sample_kernels_3dnow::scale_float(destination, source, count, factor);
    else if (active_paths.sse)
        done = sample_kernels_sse::scale_float(destination, source, count, factor);
    sample_kernels_plain::scale_float(destination + done, source + done, count - done, factor);
}

void audio_float_to_int16(int16_t* destination, const float* source, size_t count, float factor) {
    size_t done = 0;
    if (active_paths.sse2)
        done = sample_kernels_sse2::float_to_int16(destination, source, count, factor);
    else if (active_paths.sse)
        done = sample_kernels_sse::float_to_int16(destination, source, count, factor);
    sample_kernels_plain::float_to_int16(destination + done, source + done, count - done, factor);
}

void audio_float_to_int32(int32_t* destination, const float* source, size_t count, float factor) {
    size_t done = 0;
    if (active_paths.amd_3dnow)
        done = sample_kernels_3dnow::float_to_int32(destination, source, count, factor);
    else if (active_paths.sse2)
        done = sample_kernels_sse2::float_to_int32(destination, source, count, factor);
    else if (active_paths.sse)
        done = sample_kernels_sse::float_to_int32(destination, source, count, factor);
    sample_kernels_plain::float_to_int32(destination + done, source + done, count - done, factor);
}

void audio_int32_to_float(float* destination, const int32_t* source, size_t count, float factor) {
    size_t done = 0;
    if (active_paths.sse2)
        done = sample_kernels_sse2::int32_to_float(destination, source, count, factor);
    else if (active_paths.sse)
        done = sample_kernels_sse::int32_to_float(destination, source, count, factor);
    sample_kernels_plain::int32_to_float(destination + done, source + done, count - done, factor);
}

void audio_int16_to_float(float* destination, const int16_t* source, size_t count) {
    size_t done = 0;
    if (active_paths.sse2) done = sample_kernels_sse2::int16_to_float(destination, source, count);
    sample_kernels_plain::int16_to_float(destination + done, source + done, count - done);
}
