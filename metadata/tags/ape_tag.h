#pragma once
// APEv2 tags (read also as APEv1) at the end of a file. All integers are 32-bit little-endian.
//
//   header (optional) and footer, 32 bytes each:
//     "APETAGEX", version (1000 APEv1, 2000 APEv2), tag size (items + footer), item count,
//     flags (bit 31: the tag has a header; bit 29: this block is the header), 8 zero bytes
//   items, back to back: value size, item flags (bit 0 read-only, bits 1-2 type: 0 UTF-8 text, 1 binary,
//     2 link, 3 reserved; APEv1 has none), key (ASCII) and a zero byte, the value (a text value holds
//     several values separated by zero bytes)
//
//     ape_item_list items;
//     uint32_t version;
//     uint64_t start = ape_read_footer(*file, file_size, &items, &version, abort);
//     track_info_store info;
//     ape_items_to_info(items, version, info);      // "Track" 3/10 -> tracknumber 3, totaltracks 10
//     ape_items_from_info(info, items);             // read-only and binary items stay, text is rebuilt
//     ape_write(*file, items, abort);               // header, items, footer; the file ends there

#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/rc_list.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_info.h"

class file_stream;

class ape_item : public kpl::refcounted {
public:
    ape_item* prev = nullptr;
    ape_item* next = nullptr;
    uint8_t read_only = 0;
    uint32_t type = 0;  // 0 text, 1 binary, 2 link, 3 reserved
    kpl::utf8_string_tight key;
    kpl::array<uint8_t> value;

    bool is_editable_text() const { return !read_only && type == 0; }
};

using ape_item_list = kpl::rc_list<ape_item>;

constexpr uint32_t ape_version_1 = 1000;
constexpr uint32_t ape_version_2 = 2000;
constexpr uint32_t ape_block_size = 32;
// Items above this value size end the parse.
constexpr uint32_t ape_max_value_size = 0x1000000;
// Tags that claim more than this are taken as damaged rather than read into memory.
constexpr uint32_t ape_max_tag_size = 0x10000000;

// Appends a new item at the end of the list and returns it.
ape_item* ape_list_append(ape_item_list& items, const char* key, uint32_t type, uint8_t read_only, const void* value,
                          uint32_t size);

// Reads the tag that ends at `end`; answers where it begins (its header when it has one). With `items`,
// the items are parsed into the list (appended). exception_tag_not_found when the 32 bytes before `end`
// are no footer; ketrel_io::exception_io_data for a footer of another version, a size that is too small
// or reaches before the start of the file, or a header that does not fit.
uint64_t ape_read_footer(file_stream& file, uint64_t end, ape_item_list* items, uint32_t* version, const abort_signal& abort);

// Parses up to `count` items from the buffer; stops quietly at an item that is too large, lacks its key
// terminator or runs past the buffer (the items read so far stay).
void ape_parse_items(const uint8_t* data, uint32_t size, uint32_t count, uint32_t version, ape_item_list& items);

// The tag bytes: header, items and (when asked) footer. The tag size excludes the header.
void ape_serialize(const ape_item_list& items, bool with_footer, kpl::array<uint8_t>& out);

// Writes header, items and footer at the file's position and cuts the file where the tag ends.
void ape_write(file_stream& file, const ape_item_list& items, const abort_signal& abort);

// The body of a header-only tag without its leading "APETAGEX" (version, size, count, flags, reserved,
// items), and back. ketrel_io::exception_io_data for a body that is not one.
void ape_body_serialize(const ape_item_list& items, kpl::array<uint8_t>& out);
void ape_body_parse(const uint8_t* data, uint32_t length, ape_item_list& items);

// Items -> info. Text items become meta fields ("Year" -> "date", "Track" and "Disc" split at "/");
// read-only items and the four ReplayGain keys become technical fields or ReplayGain values; binary and
// link items are not read. Sets "tagtype" to "apev1" or "apev2".
void ape_items_to_info(const ape_item_list& items, uint32_t version, track_info& info);

// Info -> items: the editable text items are replaced by the info's fields; read-only and non-text items
// stay in their order. Keys take the first letter in upper case and the rest in lower case ("Album
// artist"), "date" is written as "Year"; ReplayGain keys are written in lower case. A field name that is
// no APE key (see ape_check_field_names) refuses the whole write before the list changes.
void ape_items_from_info(const track_info& info, ape_item_list& items);

// exception_tag_field_name for the first field name that cannot be an APE key: 2 to 255 printable ASCII
// characters without '%', '<', '=' and '>' (what reading keeps), and none of the reserved keys "ID3",
// "TAG", "OggS" and "MP+".
void ape_check_field_names(const track_info& info);
