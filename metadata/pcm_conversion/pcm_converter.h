#pragma once
// pcm_converter: the service that turns an audio_block into little-endian integer PCM for an audio output.
//
// Every request creates a new, reference-counted instance (the output that asked keeps it):
//
//     service_ptr<pcm_converter> converter;
//     service_class::get_single(converter);
//     kpl::byte_array pcm;
//     converter->convert(block, pcm, 16, 16, 0, 1.0f);   // 16-bit PCM, two bytes per value
//
// convert writes sample count x channels values of container_bits / 8 bytes each. Samples are signed,
// except in 8-bit containers, which hold unsigned bytes (0x80 is silence). With fewer valid bits than the
// container holds, the valid bits sit at the top of the container: 20 valid bits in a 24-bit container put a
// 0.5 sample as 0x40000 << 4. The value arithmetic, rounding and limits are those of pcm_pack (pcm_pack.h);
// the limits are exact at every valid-bit count, so full scale never wraps.
//
// Refused, with ketrel_io::exception_io_data and `out` untouched: a container other than 8, 16, 24 or 32
// bits; valid bits below 2 or above the container; a block without channels; a block holding fewer values
// than sample count x channels. While converting, the floating-point unit rounds to nearest and flushes
// denormals; the caller's mode is restored afterwards. The flag is accepted and ignored.

#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

#include <cstdint>

class audio_block;

class pcm_converter : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x61C4E6E4, 0xC31E, 0x4C89, {0xA7, 0x59, 0xBF, 0x09, 0x49, 0xDF, 0xC5, 0x28}};

    virtual void convert(const audio_block& block, kpl::byte_array& out, uint32_t valid_bits,
                         uint32_t container_bits, uint32_t flag, float scale) = 0;
};
