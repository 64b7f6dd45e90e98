#pragma once
// Matroska tags: reading Tags into field maps, filling track infos from them, and rebuilding the Tags content
// from staged infos while keeping what is not understood byte for byte.
//
// Every SimpleTag is a record {value, TagName, level (TargetTypeValue), position of the stored element or -1}.
// Field names come from the reading table (TagName and level): a Tag without Targets has level 50, so
//     TITLE at 50 -> "album", TITLE at 30 -> "title", TOTAL_PARTS at 50 -> "totaltracks", at 60 -> "totaldiscs".
// A SimpleTag without TagString is kept under the reserved name and written back as stored. Tags aimed at chapters,
// tracks, editions or attachments go to maps of their own by UID; only the file-level and chapter maps reach infos
// (a chapter lists its own values first, then the file's). Writing "album", "artist", "date" and "title" makes four
// Tag elements at levels 50, 30, 50, 30 (map order; a Tag goes on only while the level stays the same); a changed
// field is written anew with TagLanguage "und" and TagDefault 1, an unchanged one keeps its stored bytes.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "compressed_inputs/matroska/matroska_index.h"
#include "metadata/track_info.h"

namespace Matroska {

extern const char* const reserved_field_name;  // "{E795F63E-6219-4848-A38C-E69BA4094667}"

struct tag_record {
    std::string value, tag_name;
    uint64_t level = 0;
    uint64_t position = matroska_absent;
};

struct nocase_less {
    bool operator()(const std::string& a, const std::string& b) const;
};
using field_map = std::map<std::string, std::vector<tag_record>, nocase_less>;

struct tag_structure {
    field_map file;
    std::map<uint64_t, field_map> chapters, tracks, editions, attachments;
};

// The field name of a TagName at a level; the TagName and level of a field name.
std::string matroska_field_name(const std::string& tag_name, uint64_t level);
void matroska_tag_name(const std::string& field, std::string& tag_name, uint64_t& level);

tag_structure matroska_read_tags(matroska_index& index, ebml_reader& reader);
// Appends the file-level fields to the chapter maps of these keys and leaves only the reserved name at file level.
void matroska_push_down(tag_structure& tags, const std::vector<uint64_t>& keys);
void matroska_fill_info(const field_map& map, track_info& info);
void matroska_apply_info(field_map& map, const track_info& info);
// The content of the new Tags element.
std::vector<uint8_t> matroska_build_tags(matroska_index& index, ebml_reader& reader,
                                         const std::map<uint64_t, track_info_packed>& staged,
                                         const std::vector<uint64_t>& keys);

}  // namespace Matroska
