#pragma once
// What the movie and user-data parsers read, fixed when a file is opened. Playback and information open with
// parse_for_playback (0x13); tag writing adds pictures and raw items: parse_for_tag_writing (0x5B).

#include <cstdint>

namespace atomkit {

enum parse_flags : uint32_t {
    parse_sample_tables = 0x01,  // "stsc", "stco", "co64", "stss", and "ctts" of video tracks
    parse_metadata = 0x02,       // "ilst" items, the "tags" box fields, the index map
    parse_pictures = 0x08,       // "covr" in "ilst" and the pictures of the "tags" box
    parse_audio_tracks = 0x10,   // audio tracks' sample descriptions and sample tables
    parse_video_tracks = 0x20,   // video tracks' sample descriptions and sample tables
    parse_raw_items = 0x40,      // unrecognised "ilst" items kept byte for byte, for rewriting
};

constexpr uint32_t parse_for_playback = parse_sample_tables | parse_metadata | parse_audio_tracks;
constexpr uint32_t parse_for_tag_writing = parse_for_playback | parse_pictures | parse_raw_items;
static_assert(parse_for_playback == 0x13 && parse_for_tag_writing == 0x5B, "open modes");

}  // namespace atomkit
