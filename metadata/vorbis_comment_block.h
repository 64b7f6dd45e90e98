#pragma once
// Vorbis comment blocks: the tag payload of Ogg Vorbis, Opus and FLAC. All integers are unsigned 32-bit
// little-endian:
//
//     [comment magic]        only in Ogg comment packets, copied as the caller gives it
//     vendor length, vendor  not zero-terminated
//     entry count
//     entries                each: length, then "NAME=value" in UTF-8
//     [framing byte 0x01]    only when asked for
//
// Field names are written through vorbis_field_canonical_name ("ALBUM ARTIST" -> "ALBUMARTIST"), keeping
// their letter case otherwise. Present ReplayGain values follow the meta fields in the order album gain,
// album peak, track gain, track peak, as "-6.50 dB" / "0.988000" texts.
//
//     track_info_store info;
//     info.meta_add("ALBUM ARTIST", track_info::npos, "X", track_info::npos);
//     kpl::array<uint8_t> block;
//     vorbis_comment_write(info, "vorn", block);
//     // 04 00 00 00 "vorn" 01 00 00 00 0D 00 00 00 "ALBUMARTIST=X"
//
// A field name that is no Vorbis-comment name refuses the write before anything is built (see
// vorbis_comment_check_field_names).
//
// The writers count their entries and check the count against what they wrote
// (kpl::exception_dynamic_assert on a mismatch).

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"

class byte_sink;
class track_info;

// exception_tag_field_name for the first field whose Vorbis-comment name is not printable ASCII up to '}'
// without '=' (the names of the format, which reading keeps) or holds '%', '<' or '>' (which reading drops):
//     "mood=happy", "café", "a~b" are refused; "my field" is written.
void vorbis_comment_check_field_names(const track_info& info);

// One entry: the length of "name=value", then those bytes.
void vorbis_comment_write_entry(byte_sink& sink, const char* name, const char* value);

// A new block for the info, without comment magic and framing byte (FLAC's VORBIS_COMMENT block).
void vorbis_comment_write(const track_info& info, const char* vendor, kpl::array<uint8_t>& out);

// A new Ogg comment packet for the info that keeps the old packet's vendor string and its picture entries
// ("METADATA_BLOCK_PICTURE", "COVERART", "COVERARTMIME"): the magic, the old vendor, the meta fields
// (picture-named fields skipped), the ReplayGain entries, then the kept picture entries unchanged and in
// their order, then 0x01 when `framing` is set. The old packet starts with `magic_length` bytes of magic
// that are skipped. An old packet that ends early gives ketrel_io::exception_io_data.
void vorbis_comment_rewrite(const uint8_t* old_packet, size_t old_size, const uint8_t* magic, size_t magic_length,
                            bool framing, const track_info& info, kpl::array<uint8_t>& out);

// The vendor string at the start of a block. A vendor length beyond the block's bytes gives
// ketrel_io::exception_io_data.
void vorbis_comment_read_vendor(const uint8_t* block, size_t length, kpl::utf8_string& out);
