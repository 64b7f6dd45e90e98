#pragma once
// The movie's user data ("udta"): the iTunes-style item list ("meta"/"hdlr"/"ilst"), the "chpl" chapter list,
// the "indx" index map of cue points and the "tags" box of field sets, per-chapter segments and pictures.
// Readers fill a user_data; writers append a box's payload to a box_buffer.
//
//     atomkit::user_data ud;
//     atomkit::read_user_data(stream, udta_payload_size, atomkit::parse_for_playback, ud);
//     // an "ilst" holding "\xA9nam" "Song" and "trkn" 3 of 12:
//     //   ud.has_ilst, ud.ilst_fields: title {Song}, track {3}, totaltracks {12}
//     atomkit::box_buffer out;
//     atomkit::write_ilst_items(ud, out);   // "trkn" (box size 32) first, then "\xA9nam"
//
// Errors inside "meta" or "tags" drop that block only (has_ilst or has_tags false, its content empty);
// errors in "chpl" ("invalid chapter count") and "indx" ("invalid index map") are atomkit exceptions that
// reach the caller. Writers cap what does not fit: texts cut to 255 bytes or 0xFFFFF bytes end on a UTF-8
// character boundary.

#include <cstdint>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/byte_stream.h"
#include "compressed_inputs/mp4/atomkit/field_set.h"

namespace atomkit {

class box_buffer;

struct raw_item {
    uint32_t type = 0;
    std::vector<uint8_t> payload;
};
struct chpl_chapter {
    uint64_t start = 0;
    std::string title;
};
struct index_entry {
    uint64_t pregap = 0;
    std::vector<uint64_t> points;
};
struct tag_segment {
    uint32_t chapter = 0;
    field_set fields;
};

struct user_data {
    bool has_ilst = false;
    field_set ilst_fields;
    picture_ptr cover;
    std::vector<raw_item> raw_items;
    std::vector<chpl_chapter> chpl_chapters;
    std::vector<index_entry> index_map;
    bool has_tags = false;
    field_set tags_fields;
    std::vector<picture_ptr> tags_pictures;
    std::vector<tag_segment> tag_segments;

    bool meta_read = false;  // the first "meta" wins
    bool tags_read = false;  // a second "tags" box drops both
};

// The 148 genre names; "gnre" value v stands for genre_name(v - 1). Only the first 80 are written as "gnre".
constexpr uint32_t genre_count = 148;
const char* genre_name(uint32_t index);
// The field of an "ilst" item type of the 18-row table ("\xA9nam" -> "title"), null for other types.
const char* ilst_field_of_type(uint32_t type);
// The item type of a field name of that table (any case), 0 for other names.
uint32_t ilst_type_of_field(const std::string& name);

// The "udta" payload of `size` bytes next on the stream.
void read_user_data(byte_stream& s, uint64_t size, uint32_t flags, user_data& ud);
// The "meta" box of "udta" (the first one only, with flag 0x02 or 0x08).
void read_meta(byte_stream& s, uint64_t size, uint32_t flags, user_data& ud);
// One "ilst" item of `type` whose payload is next on the stream; false when not recognised.
bool parse_ilst_item(byte_stream& s, uint64_t size, uint32_t type, field_set& fields);
void read_chpl(byte_stream& s, uint64_t size, user_data& ud);
void read_index_map(byte_stream& s, user_data& ud);
void read_tags_box(byte_stream& s, uint64_t size, uint32_t flags, user_data& ud);
// The field records of a "meta" inside the "tags" box.
void read_tags_fields(byte_stream& s, uint64_t size, field_set& out);

// Payload writers. write_chpl takes the chapters' starts and "title" fields.
struct chapter_entry {
    field_set fields;
    int64_t start = 0;
};
void write_ilst_items(const user_data& ud, box_buffer& out);
void write_meta_box(const user_data& ud, box_buffer& out);
void write_chpl(const std::vector<chapter_entry>& chapters, box_buffer& out);
void write_index_map(const std::vector<index_entry>& map, box_buffer& out);
void write_tags_fields(const field_set& fields, box_buffer& out);
void write_tags_box(const user_data& ud, box_buffer& out);

// Whether write_chpl has anything to write: two or more chapters, or one that starts after tick 0.
bool chpl_wanted(const std::vector<chapter_entry>& chapters);

}  // namespace atomkit
