#pragma once
// Packet decoders: the codecs that container inputs hand compressed packets to.
//
// A container input never decodes a codec itself. It describes the stream by an owner (which container
// built the description) and a setup record, asks codec_packet_decoder_open for a decoder, and then feeds
// it one packet at a time:
//
//     ogg_packet first = ...;                                    // the stream's first packet
//     service_ptr<codec_packet_decoder> decoder;
//     codec_packet_decoder_open(decoder, true, codec_owner_ogg, 0, &first, sizeof first, abort);
//     while (more headers) if (decoder->property(ogg_property_header_packet, 0, &p, sizeof p)) break;
//     audio_block_store block;
//     decoder->property(ogg_property_next_packet, 0, &p, sizeof p);
//     decoder->decode_packet(p.packet, p.bytes, block, abort);  // block.get_sample_count() frames
//
// Setup records by owner:
//   codec_owner_ogg        32 bytes: libogg's ogg_packet of the stream's first packet (on this 32-bit
//                          target {bytes pointer, byte count, bos, eos, 64-bit granule, 64-bit number})
//   codec_owner_matroska   24 bytes: matroska_setup_record below
//   codec_owner_mp4        the MP4 input's own record
//   codec_owner_alac       the ALAC magic cookie (the "alac" box payload)
//   codec_owner_mpeg_audio no record (size 0); the MPEG input's Layer I streams, with
//   codec_owner_mpeg_layer2 and codec_owner_mpeg_layer3 beside it for Layers II and III
// A record and the bytes it points to belong to the caller and are valid only during the call.
//
// After every seek the container calls reset_after_seek, then decodes and drops preroll_frames packets
// (or packets worth preroll_seconds) before it keeps output.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class abort_signal;
class audio_block;
class track_info;

constexpr kpl::guid codec_owner_ogg = {0x8FA27457, 0xA021, 0x43B9, {0xAD, 0x20, 0xA7, 0x96, 0xDB, 0x94, 0x7C, 0xD1}};
constexpr kpl::guid codec_owner_matroska = {0x5C2DE804, 0xEAEE, 0x4B8E, {0x8C, 0x14, 0x92, 0x07, 0xA2, 0x54, 0x9B, 0xBE}};
constexpr kpl::guid codec_owner_mp4 = {0x30F95BEB, 0xFDF4, 0x4A75, {0xB5, 0x97, 0x60, 0xCA, 0xF9, 0x3B, 0x39, 0xC4}};
constexpr kpl::guid codec_owner_alac = {0x8F450CB3, 0xA083, 0x4B83, {0x8D, 0x85, 0xAD, 0xCE, 0x5E, 0xA6, 0xD5, 0x7F}};
constexpr kpl::guid codec_owner_mpeg_audio = {0x1C068E5E, 0xDD65, 0x4639, {0xBF, 0x85, 0x78, 0xB2, 0x97, 0xC8, 0xFF, 0xAC}};
constexpr kpl::guid codec_owner_mpeg_layer2 = {0x17B300A0, 0x3110, 0x4400, {0xA4, 0x34, 0xC1, 0x8F, 0xBE, 0xEA, 0xBA, 0x81}};
constexpr kpl::guid codec_owner_mpeg_layer3 = {0x7B741A69, 0x1AC7, 0x440D, {0xA0, 0x1D, 0x88, 0x53, 0x6D, 0xD4, 0xDE, 0x1C}};

// Properties the Ogg input asks (data: a 32-byte ogg_packet).
//   header packet: one more header packet after the first; nonzero once all headers are in
//   granule rate:  the rate in which the stream's granule positions count
//   pre-skip:      samples to drop at the start of the stream
//   next packet:   the record of the packet that the next decode_packet decodes
constexpr kpl::guid ogg_property_header_packet = {0xBEB22C78, 0xEB49, 0x4F9E, {0x9E, 0x37, 0x57, 0xD8, 0x87, 0x40, 0xFB, 0x4C}};
constexpr kpl::guid ogg_property_granule_rate = {0x6226BF73, 0x1C37, 0x4AA1, {0xAE, 0xB1, 0x18, 0x8B, 0x4A, 0xF3, 0xAE, 0xF7}};
constexpr kpl::guid ogg_property_pre_skip = {0xFAE837D4, 0xC396, 0x4CCD, {0xA7, 0xA5, 0xEB, 0x1E, 0x7E, 0x86, 0x32, 0xFB}};
constexpr kpl::guid ogg_property_next_packet = {0xADE740BE, 0x8E2E, 0x4D0B, {0xA4, 0x00, 0x3F, 0x6E, 0x8A, 0xF7, 0x71, 0xE4}};

// A notice from a container: data is the decoder_event_sink that receives damage reports from now on
// (null: none). A decoder that reports damage answers 1.
constexpr kpl::guid codec_property_event_sink = {0x3D0F6A52, 0x9C47, 0x4E1B, {0x8A, 0x63, 0x2F, 0xB4, 0x51, 0xC9, 0x07, 0xE8}};

// Properties the packet decoders of the system codecs answer (the MPEG-audio, MP4 and Matroska inputs
// set the first with an integer value).
constexpr kpl::guid codec_property_channels = {0x1AFA1145, 0xE774, 0x4C26, {0x91, 0xD6, 0x3F, 0x5D, 0xD6, 0x1E, 0x26, 0x0E}};
constexpr kpl::guid codec_property_sample_rate = {0xBC73F9FC, 0x0107, 0x480E, {0xBF, 0x0E, 0xBE, 0x58, 0xAF, 0x7A, 0xF3, 0x28}};
constexpr kpl::guid codec_property_bits_per_sample = {0xE5D19AAD, 0x931B, 0x48AC, {0xAA, 0x6E, 0x95, 0xE2, 0xC2, 0x3B, 0xEC, 0x37}};
// PCM samples: signed (non-zero) or unsigned (0); little-endian (non-zero) or big-endian (0).
constexpr kpl::guid codec_property_signed = {0x0759C32F, 0xE78E, 0x4479, {0xB0, 0xC0, 0xB6, 0x53, 0xDF, 0xA0, 0x14, 0xD8}};
constexpr kpl::guid codec_property_little_endian = {0x29C556DA, 0x065A, 0x4D24, {0x8A, 0x11, 0x0F, 0x9D, 0xBC, 0x05, 0xA8, 0x17}};

// The Matroska input's setup record (24 bytes on this target).
struct matroska_setup_record {
    const char* codec_id;               // zero-terminated CodecID, e.g. "A_OPUS"
    uint32_t sampling_frequency;
    uint32_t output_sampling_frequency;
    uint32_t channels;
    uint32_t codec_private_size;
    const void* codec_private;
};
static_assert(sizeof(void*) != 4 || sizeof(matroska_setup_record) == 24, "Matroska setup record is 24 bytes");

// One decoder per stream or track; used by one thread at a time.
class codec_packet_decoder : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x015A6C0E, 0x1571, 0x49BD, {0xA3, 0x67, 0x30, 0xB4, 0xBD, 0x88, 0x9C, 0x34}};

    // A container's question or notice; 0 for every GUID the decoder does not know.
    virtual intptr_t property(const kpl::guid& id, intptr_t value, void* data, size_t size) {
        (void)id, (void)value, (void)data, (void)size;
        return 0;
    }
    // The stream's technical fields, and its tags where the codec carries them.
    virtual void get_info(track_info& info) = 0;
    // Packets to decode and drop after a seek before output is valid.
    virtual uint32_t preroll_frames() { return 0; }
    // The same bound in seconds.
    virtual double preroll_seconds() { return 0.0; }
    // The container moved; forget the stream state.
    virtual void reset_after_seek() = 0;
    // Decodes one packet into `block` (an empty block when the packet gives no samples).
    virtual void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) = 0;
    // Whether the decoder wants the track's first packet before decoding (MP4 asks right after create).
    virtual bool needs_first_packet() { return false; }
    virtual void set_first_packet(const void* data, size_t size, const abort_signal& abort) {
        (void)data, (void)size, (void)abort;
    }
};

// A codec, registered as a static service; stateless.
class codec_packet_decoder_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x53006A71, 0xC03C, 0x4C38, {0x82, 0x2F, 0x9A, 0x34, 0xA5, 0x65, 0x50, 0x95}};

    // Whether the codec takes this stream. Never throws, whatever the owner or record size.
    virtual bool accepts_setup(const kpl::guid& owner, uint32_t parameter, const void* record, size_t size) = 0;
    // A new decoder for the stream; `decoding` is false when the caller only wants info. A record the codec
    // cannot use gives ketrel_io::exception_io_data.
    virtual void create(service_ptr<codec_packet_decoder>& out, bool decoding, const kpl::guid& owner,
                        uint32_t parameter, const void* record, size_t size, const abort_signal& abort) = 0;
};

// The first registered codec (class-table order) whose accepts_setup is true creates the decoder; its
// result or exception is the result. None accepts: ketrel_io::exception_io_data (default text).
void codec_packet_decoder_open(service_ptr<codec_packet_decoder>& out, bool decoding, const kpl::guid& owner,
                               uint32_t parameter, const void* record, size_t size, const abort_signal& abort);
