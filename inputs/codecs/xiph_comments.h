#pragma once
// Reading the comments of Vorbis and Opus streams into a track info.
//
// A comment packet is {magic, u32 LE vendor length, vendor, u32 LE count, count x (u32 LE length, bytes)}.
// Each comment "NAME=value" becomes a meta field, with these rules:
//   - "tool" = the vendor text;
//   - a comment without '=' is skipped; with the Vorbis rules also one that is not valid UTF-8 or whose
//     name is empty;
//   - with the Opus rules "R128_TRACK_GAIN" (any case) is consumed: with header gain G and value v (read as
//     atoi reads it: blanks, sign, the leading digits) the ReplayGain becomes album G/256 + 5 dB, track
//     (G + v)/256 + 5 dB, no peaks; a value outside -32768..32767 (no Q7.8 gain) sets nothing;
//   - picture fields ("COVERART", "COVERARTMIME", "METADATA_BLOCK_PICTURE") are left to the picture reader;
//   - ORGANIZATION, ALBUMARTIST, TRACKTOTAL, DISCTOTAL become PUBLISHER, ALBUM ARTIST, TOTALTRACKS,
//     TOTALDISCS;
//   - the four replaygain_* fields go to the ReplayGain record;
//   - the rest replace the info's meta fields after the field_value_map clean-ups.
//
//     opus_tags_read(packet, size, 0, info);   // "R128_TRACK_GAIN=-256" -> album 5.0 dB, track 4.0 dB

#include <cstddef>
#include <cstdint>

class track_info;

struct xiph_comment_text {
    const char* text;
    size_t length;
};

enum class xiph_comment_rules { vorbis, opus };

// `output_gain` is the Opus header gain (Q7.8); unused with the Vorbis rules.
void xiph_comments_to_info(track_info& info, const char* vendor, size_t vendor_length,
                           const xiph_comment_text* comments, size_t count, xiph_comment_rules rules,
                           int32_t output_gain);

// An "OpusTags" packet through the Opus rules. A packet under 16 bytes, another magic, or a length that runs
// past the end gives ketrel_io::exception_io_data.
void opus_tags_read(const uint8_t* packet, size_t size, int32_t output_gain, track_info& info);
