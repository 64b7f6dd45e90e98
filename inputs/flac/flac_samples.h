#pragma once
// flac_samples_to_float: libFLAC's planar integer samples as interleaved floats.
//
//     const FLAC__int32* planes[2] = {left, right};
//     flac_samples_to_float(out, planes, 2, 4096, 16);   // out[2i] = left[i] / 32768, out[2i+1] = right[i] / 32768
//
// Each value is sample x 2^-(bits-1), rounded to single precision (exact up to 24 bits). Mono and stereo
// take an SSE2 path when the processor has SSE2, with the same results as the plain code.

#include <cstdint>

void flac_samples_to_float(float* out, const int32_t* const* planes, uint32_t channels, uint32_t count, uint32_t bits);
