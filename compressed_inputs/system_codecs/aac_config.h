#pragma once
// The AAC decoder's setup bytes: the AudioSpecificConfig built from a Matroska codec id, and the user data that
// Media Foundation's AAC transform takes in front of it.
//
//     std::vector<uint8_t> asc;
//     aac_config_from_codec_id("A_AAC/MPEG4/LC/SBR", 24000, 48000, 2, asc);   // 13 10 56 E5 98
//     aac_config_from_codec_id("A_AAC/MPEG2/LC", 44100, 0, 2, asc);           // 12 10
//     aac_user_data(asc.data(), asc.size(), data);    // 00 00 2A 00 00 00 00 00 00 00 00 00, then the ASC
//
// The profile is the first of "/MAIN", "/SBR", "/LC", "/SSR", "/LTP" found after "A_AAC/" (none:
// ketrel_io::exception_io_data); SBR adds the three bytes that name the output rate.

#include <cstddef>
#include <cstdint>

#include <vector>

// The sampling-frequency index of a rate: the first of the lower bounds 92017, 75132, 55426, 46009, 37566, 27713,
// 23004, 18783, 13856, 11502, 9391 that it reaches, else 11.
uint32_t aac_sampling_index(uint32_t rate);

void aac_config_from_codec_id(const char* codec_id, uint32_t rate, uint32_t output_rate, uint32_t channels,
                              std::vector<uint8_t>& out);

// Payload type 0, profile-level indication 0x2A, structure type 0, 6 reserved zero bytes (little-endian), then
// the AudioSpecificConfig.
void aac_user_data(const uint8_t* config, size_t size, std::vector<uint8_t>& out);
