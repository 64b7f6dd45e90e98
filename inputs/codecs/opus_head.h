#pragma once
// The Opus identification header ("OpusHead"), little-endian:
//
//     0  8  "OpusHead"
//     8  1  version: upper four bits 0 (0..15 accepted)
//     9  1  channel count, at least 1
//    10  2  pre-skip in 48 kHz samples
//    12  4  input sample rate (Hz)
//    16  2  output gain, signed Q7.8 dB
//    18  1  channel mapping family
//    19  1  stream count N >= 1           (family not 0)
//    20  1  coupled count M <= N, N+M <= 255  (family not 0)
//    21  n  mapping: each entry below N+M, or 255 (silent)   (family not 0)
//
// Family 0 has no table, 1 or 2 channels, N = 1, M = channels - 1, mapping {0, 1}. Versions 0 and 1 end
// exactly after these fields; versions 2..15 may carry more bytes, which are ignored.
//
//     opus_head h;
//     opus_head_parse(bytes, 19, h);   // a plain stereo header: true, h.stream_count 1, h.coupled_count 1

#include <cstddef>
#include <cstdint>

struct opus_head {
    uint32_t version = 0;
    uint32_t channels = 0;
    uint32_t pre_skip = 0;
    uint32_t input_sample_rate = 0;
    int32_t output_gain = 0;
    uint32_t mapping_family = 0;
    uint32_t stream_count = 0;
    uint32_t coupled_count = 0;
    uint8_t mapping[255] = {};
};

// False for anything that breaks the rules above (nothing is thrown).
bool opus_head_parse(const uint8_t* data, size_t size, opus_head& out);

// The reference level of Opus gains: a header gain of G dB stands for a ReplayGain of G + 5 dB.
constexpr double opus_gain_reference_db = 5.0;
