#pragma once
// Packs float samples into little-endian integer PCM of a given container width, with fewer valid bits than
// the container holds where asked. This is the arithmetic of the `pcm_converter` service (pcm_converter.h);
// the caller checks the widths and sets the floating-point mode.
//
// k = 2^(valid_bits - 1) x scale. With valid bits equal to the container:
//   8:  round(v x k) + 128 limited to 0..255 (unsigned bytes, 0x80 is silence)
//   16: audio_float_to_int16 with the factor scale
//   24: round(v x k) from the unrounded product, limited to -8388608..8388607, three bytes
//   32: audio_float_to_int32 with the factor scale
// With fewer valid bits: v x k limited to -2^(valid-1)..2^(valid-1)-1, rounded, shifted left so the valid
// bits sit at the top of the container (an 8-bit container then has its byte XORed with 0x80). The limits are
// exact at every width: 31 valid bits in a 32-bit container give 0x7FFFFFFE for full scale, never a wrapped
// value.
//
//     uint8_t out[3];
//     float one = 0.5f;
//     pcm_pack(out, &one, 1, 20, 24, 1.0f);   // 0x40000 << 4 = 0x400000: out = {00 00 40}

#include <cstddef>
#include <cstdint>

// `valid_bits` is 2..container_bits and `container_bits` is 8, 16, 24 or 32; `out` holds
// count x container_bits / 8 bytes.
void pcm_pack(uint8_t* out, const float* samples, size_t count, unsigned valid_bits, unsigned container_bits,
              float scale);
