#pragma once
// system_codecs: the packet decoders over the system's own codecs (Media Foundation transforms and the Audio
// Compression Manager), and what they share: the system version they choose by, the owners and properties
// beyond inputs/codec_packet_decoder.h, and the failure to set a codec up.
//
//     service_ptr<codec_packet_decoder> d;
//     codec_packet_decoder_open(d, true, codec_owner_mpeg_layer3, 0, nullptr, 0, abort);
//     d->property(codec_property_channels, 2, nullptr, 0);
//     d->property(codec_property_sample_rate, 44100, nullptr, 0);
//     d->decode_packet(frame, frame_bytes, block, abort);   // the codec is set up here, at the first packet
//
// Decoders:   owners and setup                                               back end
//   AAC       MP4 object types 64, 102-104; Matroska "A_AAC", "A_AAC/..."    Media Foundation (Windows 7 on)
//   MPEG      the MPEG input's three layer owners; MP4 105, 107;             ACM below Windows 6.0, else Media
//             Matroska "A_MPEG/L1", "/L2", "/L3"                             Foundation, then ACM when the
//                                                                            system has no MF MP3 transform
//   PCM       Matroska "A_PCM/INT/LIT", "A_PCM/INT/BIG"                      none
// A codec that cannot be set up at the first packet throws exception_codec_setup (an exception_io_data):
// containers end decoding with it instead of skipping the packet as damaged.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/codec_packet_decoder.h"

// The MPEG input's Layer I owner under the name of its layer (Layers II and III: inputs/codec_packet_decoder.h).
constexpr kpl::guid codec_owner_mpeg_layer1 = codec_owner_mpeg_audio;
// Owners of AAC streams that no input of this program uses; accepted, refused at the first packet.
constexpr kpl::guid codec_owner_aac_other1 = {0xAF5B7CB0, 0xA08E, 0x404A, {0xA3, 0xC0, 0x5C, 0x5E, 0xA1, 0xA8, 0xA0, 0x5C}};
constexpr kpl::guid codec_owner_aac_other2 = {0xF72D2EAE, 0x835C, 0x4DFB, {0x97, 0xC6, 0x62, 0x43, 0x43, 0xEF, 0xAF, 0xB0}};

// PCM layout properties codec_property_signed and codec_property_little_endian: inputs/codec_packet_decoder.h.

class exception_codec_setup : public ketrel_io::exception_io_data {
public:
    explicit exception_codec_setup(const char* text) noexcept : exception_io_data(text) {}
};

// The Windows version as major x 256 + minor (0x0501 for XP, 0x0601 for 7).
uint32_t system_codec_version();
// Makes system_codec_version answer `version` (0: the system's own again); for tests of the older paths.
void system_codec_version_override(uint32_t version);
