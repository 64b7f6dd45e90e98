#pragma once
// ID3v1 and ID3v1.1: the 128 bytes at the very end of a file.
//
//   0   3  "TAG"               63  30  album
//   3  30  title               93   4  year
//  33  30  artist              97  30  comment (ID3v1.1: 28 bytes, byte 125 = 0, byte 126 = track number)
//                             127   1  genre number (255 = none)
//
// Texts are in the system code page, zero-padded; on reading a text ends at its first zero byte and loses
// its trailing blanks.
//
//     uint8_t tag[128];
//     id3v1_build(info, tag);            // title "T", tracknumber "7", genre "rock" -> byte 126 = 7,
//                                        // byte 127 = 17
//     track_info_store back;
//     id3v1_parse(tag, back);            // title "T", tracknumber "7", genre "Rock", tagtype "id3v1"

#include <cstdint>

#include "metadata/track_info.h"

constexpr uint32_t id3v1_tag_size = 128;

// Sets the fields the tag holds (meta_set per field, so other fields stay) and "tagtype" "id3v1".
// exception_tag_not_found when the bytes do not start with "TAG".
void id3v1_parse(const uint8_t tag[id3v1_tag_size], track_info& info);

// The tag for the first values of the info's fields; texts that do not fit are cut.
void id3v1_build(const track_info& info, uint8_t tag[id3v1_tag_size]);

// Whether an ID3v1 tag holds the info without loss: no ReplayGain value; only the fields title, artist,
// album (non-empty plain ASCII of at most 30 bytes), date (the same, at most 4 bytes), comment (plain
// ASCII of at most 28 bytes), tracknumber (1 to 127, written plainly: "7", not "07" or "0"), genre (one
// of the list's names); each with exactly one value. An info without meta fields fits.
bool id3v1_fits(const track_info& info);

// Replaces the info's metadata by what an ID3v1 tag would keep of it.
void id3v1_reduce(track_info& info);
