#pragma once
// mpeg_frame: the frames of an MPEG audio stream (MPEG-1, MPEG-2 and MPEG-2.5, Layers I, II and III) read
// from their bytes: the 4-byte header, the CRC that protects a frame, and the VBR header frames that
// encoders put first ("Xing"/"Info" with LAME's extension, "VBRI").
//
//     mpeg_frame_header h;
//     const uint8_t b[4] = {0xFF, 0xFB, 0x90, 0x64};    // MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo
//     mpeg_parse_frame_header(b, h);                    // true; h.frame_bytes == 417, h.samples_per_frame == 1152
//     mpeg_frame_crc_ok(frame, available, h);           // true for an unprotected frame
//     xing_header x;
//     xing_parse(frame, h.frame_bytes, x);              // true for a "Xing"/"Info" frame; x.delay == -1 without LAME's
//
// Free format (bitrate index 0) and bitrate index 15 are not valid headers. The CRC covers what the
// standard protects: for Layer III the side information, for Layer I the bit allocation, for Layer II the
// bit allocation and the scale-factor selection (its table chosen by the bit rate per channel, the sample
// rate and the version).

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/string.h"

struct mpeg_frame_header {
    uint32_t frame_bytes = 0;       // the whole frame, header included
    uint32_t sample_rate = 0;       // Hz
    uint32_t bitrate = 0;           // kbit/s
    int layer = 0;                  // 1, 2 or 3; 0: not a valid header
    int version = 0;                // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    uint32_t channels = 0;          // 1 for mono, else 2
    uint32_t samples_per_frame = 0; // 384, 1152 or 576
    int channel_mode = 0;           // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    int mode_extension = 0;
    bool has_crc = false;
};

// False (and a header with layer 0) for anything but a valid header.
bool mpeg_parse_frame_header(const uint8_t bytes[4], mpeg_frame_header& out);

// Samples the decoder adds at the start: 529 for Layer III, 481 for Layer II, 0 for Layer I.
uint32_t mpeg_decoder_delay(int layer);

// Two headers of one stream: the second is valid and has the same sample rate and channel count.
bool mpeg_headers_compatible(const mpeg_frame_header& first, const mpeg_frame_header& second);

// The CRC-16 (polynomial 0x8005, start 0xFFFF) over `bits` bits from the start of `data`, going on from `crc`.
uint16_t mpeg_crc16_bits(uint16_t crc, const uint8_t* data, uint32_t bits);

// True for a frame without CRC; for a protected one, whether the CRC at offsets 4-5 matches. `available` is the
// number of bytes of the frame at hand; fewer than frame_bytes fails.
bool mpeg_frame_crc_ok(const uint8_t* frame, size_t available, const mpeg_frame_header& h);

// The Xing/Info header frame, with LAME's extension where there is one.
struct xing_header {
    uint32_t flags = 0;
    uint32_t frames = 0;
    uint32_t bytes = 0;
    int32_t delay = -1;         // encoder delay; -1 without the extension
    int32_t padding = -1;       // encoder padding; -1 without the extension
    int32_t quality = -1;
    uint32_t vbr_method = 0;
    uint32_t lowpass = 0;
    bool is_info = false;       // "Info" (constant bit rate) rather than "Xing"
    kpl::utf8_string_pow2 encoder;
    kpl::utf8_string_pow2 profile;
};

// Parses the first frame of `frame_bytes` bytes. False when it holds no usable Xing/Info header (also for
// a frame count of 0 or 1).
bool xing_parse(const uint8_t* frame, uint32_t frame_bytes, xing_header& out);

struct vbri_header {
    uint32_t sample_rate = 0;
    uint32_t version = 0, delay = 0, quality = 0;
    uint32_t bytes = 0, frames = 0;
    uint32_t toc_entries = 0, scale = 0, entry_size = 0, frames_per_entry = 0;
};

// The "VBRI" header at offset 36 of the first frame. False when there is none or it is cut short.
bool vbri_parse(const uint8_t* frame, uint32_t frame_bytes, vbri_header& out);
