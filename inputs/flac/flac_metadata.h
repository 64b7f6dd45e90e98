#pragma once
// What FLAC metadata blocks become in a track_info, and the channel layout of FLAC frames.
//
//     flac_streaminfo_to_info(streaminfo, info);   // "samplerate" "channels" "bitspersample" "md5", length
//     flac_comments_to_info(comments, info);       // meta fields, ReplayGain, "tool"
//     uint32_t mask = flac_channel_mask(0, 6);     // 0x3F: the FLAC order of six channels
//
// Comments: entries that are not UTF-8 or have no '=' are skipped; the name ends at the first '='.
// "WAVEFORMATEXTENSIBLE_CHANNEL_MASK" becomes a technical field with its value as written. The names
// ORGANIZATION, ALBUMARTIST, TRACKTOTAL and DISCTOTAL read as PUBLISHER, ALBUM ARTIST, TOTALTRACKS and
// TOTALDISCS; the four replaygain_* names fill the ReplayGain record; every other entry is a meta field
// (pictures included). Duplicate "album artist" and "publisher" values are dropped and "totaltracks" and
// "totaldiscs" keep one value; then the info's meta fields are replaced by the comments', sorted by name
// (values in file order). A non-empty vendor string becomes "tool".

#include <cstdint>

#include <FLAC/format.h>

#include "metadata/track_info.h"

constexpr const char* flac_channel_mask_field = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK";

// Sample rate and channels must not be 0 (ketrel_io::exception_io_data). The MD5 is left out when it is all
// zero; the length is total samples / sample rate (0 when the total is unknown).
void flac_streaminfo_to_info(const FLAC__StreamMetadata_StreamInfo& streaminfo, track_info& info);

void flac_comments_to_info(const FLAC__StreamMetadata_VorbisComment& comments, track_info& info);

// The value of a channel-mask comment: "0x" or "0X" and one to eight hex digits. False for anything else
// (a plain "3" included), with `mask` unchanged.
bool flac_channel_mask_parse(const char* value, uint32_t length, uint32_t& mask);

// The speaker mask of a frame: the stored mask when it is not 0 and has one bit per channel, else the
// FLAC order of the count: 1 0x4, 2 0x3, 3 0x7, 4 0x33, 5 0x37, 6 0x3F, 7 0x70F (centre back and sides),
// 8 0x63F (back and sides). 0 when there is no layout (no channels, or more than 8 without a stored mask).
uint32_t flac_channel_mask(uint32_t stored, uint32_t channels);
