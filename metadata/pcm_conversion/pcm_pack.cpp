#include "metadata/pcm_conversion/pcm_pack.h"

#include "metadata/pcm_conversion/sample_kernel_paths.h"
#include "metadata/pcm_conversion/sample_kernels.h"

static void store_le(uint8_t* out, uint32_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Rounds a product to an integer within lo..hi. Limiting before rounding gives the same result as rounding
// first (the limits are integers) and keeps the conversion in range; NaN gives lo.
static int64_t round_limited(double product, double lo, double hi) {
    if (!(product >= lo)) return static_cast<int64_t>(lo);
    if (product >= hi) return static_cast<int64_t>(hi);
    return round_to_int64(product);
}

void pcm_pack(uint8_t* out, const float* samples, size_t count, unsigned valid_bits, unsigned container_bits,
              float scale) {
    const float top = static_cast<float>(uint32_t(1) << (valid_bits - 1));  // a power of two: exact
    const float k = single_precision(top * scale);
    const unsigned bytes = container_bits / 8;

    if (valid_bits == container_bits) {
        switch (container_bits) {
        case 8:
            for (size_t i = 0; i < count; ++i) {
                const double product = single_precision(samples[i] * k);
                out[i] = static_cast<uint8_t>(round_limited(product, -128.0, 127.0) + 128);
            }
            return;
        case 16:
            audio_float_to_int16(reinterpret_cast<int16_t*>(out), samples, count, scale);
            return;
        case 24:
            for (size_t i = 0; i < count; ++i) {
                // The product of two floats is exact in double precision: rounded once, to an integer.
                const double product = static_cast<double>(samples[i]) * static_cast<double>(k);
                store_le(out + 3 * i, static_cast<uint32_t>(round_limited(product, -8388608.0, 8388607.0)), 3);
            }
            return;
        case 32:
            audio_float_to_int32(reinterpret_cast<int32_t*>(out), samples, count, scale);
            return;
        }
        return;
    }

    // Fewer valid bits than the container: the limits are formed in double precision, where 2^(valid-1) - 1
    // is exact. In single precision it rounds up to 2^(valid-1) from 25 valid bits on, and a full-scale sample
    // would overflow into the sign bit after the shift.
    const double lo = -static_cast<double>(top);
    const double hi = static_cast<double>(top) - 1.0;
    const unsigned shift = container_bits - valid_bits;
    const uint32_t flip = container_bits == 8 ? 0x80 : 0;
    for (size_t i = 0; i < count; ++i) {
        const double product = single_precision(samples[i] * k);
        const uint32_t value = static_cast<uint32_t>(round_limited(product, lo, hi)) << shift;
        store_le(out + bytes * i, value ^ flip, bytes);
    }
}
