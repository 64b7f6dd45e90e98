#pragma once
// The tags any file may carry at its ends, as removing tags strips them: leading ID3v2 tags, and at the end
// an APEv2 (or APEv1) tag and ID3v1 tags in any order. Only blocks that are plainly tags are cut, so audio
// or container data that happens to end in "TAG" or "APETAGEX" survives:
//   - ID3v1: 128 bytes "TAG" + title 30, artist 30, album 30, year 4, comment 30, genre 1, where every text
//     field holds no control character (below 0x20, or 0x7F) before its first zero byte, and the year is
//     four digits or blank (spaces and zero bytes);
//   - APE: a footer "APETAGEX" of version 1000 or 2000 that is not marked as a header, with zero reserved
//     bytes, a size of at least 32 bytes that fits the file, room for its item count (11 bytes or more per
//     item), and, when it says the tag has a header, that header in place with the same version, size and
//     count.
//
//     uint8_t block[128];  ...                 // "TAG" "Title\0\0..." "Artist..." ... "1999" ...
//     id3v1_block_is_tag(block);               // true; with 0x01 inside the title: false
//     uint64_t end = trailing_tag_start(*file, abort);   // where the audio ends; the file size without tags

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

bool id3v1_block_is_tag(const uint8_t block[128]);
// `footer`: the last 32 bytes before `end`; `header`: the 32 bytes where the header would lie (null when
// there is no room for it).
bool ape_footer_is_tag(const uint8_t footer[32], uint64_t end, const uint8_t* header);
// The tag's start when the APE tag ending at `end` is well-formed, else `end`.
uint64_t ape_tag_start(file_stream& file, uint64_t end, const abort_signal& abort);
// The position where the trailing tags begin (the file's size when it has none).
uint64_t trailing_tag_start(file_stream& file, const abort_signal& abort);

// Opens the file for modification (waiting up to 0.5 s while another program has it open, as the writers
// do) and strips both ends: the leading tags through a temporary file beside
// it (safe_rewrite), the trailing ones by cutting the file. A path that no file system handles is left
// alone; other failures are thrown.
void tag_strip_file_ends(const char* path, const abort_signal& abort);
