#pragma once
// The Matroska element IDs this input reads or writes, as stored values: the ID's bytes with the length marker
// of the first byte cleared. Reading an ID gives this form; writing one encodes it as a size-style number,
// which puts the marker back:
//
//     ebml_read_id (bytes 1A 45 DF A3)   -> Matroska::id::ebml (0x0A45DFA3)
//     ebml_encode (id::tags)             -> 12 54 C3 67
//     ebml_encode (id::void_element)     -> EC

#include <cstdint>

namespace Matroska {
namespace id {

// Top level and the EBML header.
constexpr uint32_t ebml = 0x0A45DFA3;
constexpr uint32_t ebml_read_version = 0x2F7;
constexpr uint32_t doc_type = 0x282;
constexpr uint32_t doc_type_read_version = 0x285;
constexpr uint32_t segment = 0x08538067;

// SeekHead.
constexpr uint32_t seek_head = 0x014D9B74;
constexpr uint32_t seek = 0xDBB;
constexpr uint32_t seek_id = 0x13AB;
constexpr uint32_t seek_position = 0x13AC;

// Info.
constexpr uint32_t info = 0x0549A966;
constexpr uint32_t timecode_scale = 0xAD7B1;
constexpr uint32_t duration = 0x489;

// Tracks.
constexpr uint32_t tracks = 0x0654AE6B;
constexpr uint32_t track_entry = 0x2E;
constexpr uint32_t track_number = 0x57;
constexpr uint32_t track_uid = 0x33C5;
constexpr uint32_t track_type = 0x03;
constexpr uint32_t flag_enabled = 0x39;
constexpr uint32_t flag_default = 0x08;
constexpr uint32_t flag_forced = 0x15AA;
constexpr uint32_t codec_id = 0x06;
constexpr uint32_t codec_private = 0x23A2;
constexpr uint32_t codec_delay = 0x16AA;
constexpr uint32_t audio = 0x61;
constexpr uint32_t sampling_frequency = 0x35;
constexpr uint32_t output_sampling_frequency = 0x38B5;
constexpr uint32_t channels = 0x1F;
constexpr uint32_t bit_depth = 0x2264;
constexpr uint32_t content_encodings = 0x2D80;
constexpr uint32_t content_encoding = 0x2240;
constexpr uint32_t content_encoding_order = 0x1031;
constexpr uint32_t content_encoding_scope = 0x1032;
constexpr uint32_t content_encoding_type = 0x1033;
constexpr uint32_t content_compression = 0x1034;
constexpr uint32_t content_comp_algo = 0x254;
constexpr uint32_t content_comp_settings = 0x255;

// Chapters.
constexpr uint32_t chapters = 0x0043A770;
constexpr uint32_t edition_entry = 0x5B9;
constexpr uint32_t edition_uid = 0x5BC;
constexpr uint32_t edition_flag_hidden = 0x5BD;
constexpr uint32_t edition_flag_default = 0x5DB;
constexpr uint32_t chapter_atom = 0x36;
constexpr uint32_t chapter_uid = 0x33C4;
constexpr uint32_t chapter_time_start = 0x11;
constexpr uint32_t chapter_time_end = 0x12;
constexpr uint32_t chapter_flag_hidden = 0x18;
constexpr uint32_t chapter_flag_enabled = 0x598;
constexpr uint32_t chapter_display = 0x00;
constexpr uint32_t chap_string = 0x05;

// Cues.
constexpr uint32_t cues = 0x0C53BB6B;
constexpr uint32_t cue_point = 0x3B;
constexpr uint32_t cue_time = 0x33;
constexpr uint32_t cue_track_positions = 0x37;
constexpr uint32_t cue_track = 0x77;
constexpr uint32_t cue_cluster_position = 0x71;

// Clusters.
constexpr uint32_t cluster = 0x0F43B675;
constexpr uint32_t timecode = 0x67;
constexpr uint32_t simple_block = 0x23;
constexpr uint32_t block_group = 0x20;
constexpr uint32_t block = 0x21;
constexpr uint32_t discard_padding = 0x35A2;

// Attachments.
constexpr uint32_t attachments = 0x0941A469;
constexpr uint32_t attached_file = 0x21A7;
constexpr uint32_t file_name = 0x66E;
constexpr uint32_t file_mime_type = 0x660;
constexpr uint32_t file_data = 0x65C;

// Tags.
constexpr uint32_t tags = 0x0254C367;
constexpr uint32_t tag = 0x3373;
constexpr uint32_t targets = 0x23C0;
constexpr uint32_t target_type_value = 0x28CA;
constexpr uint32_t tag_track_uid = 0x23C5;
constexpr uint32_t tag_edition_uid = 0x23C9;
constexpr uint32_t tag_chapter_uid = 0x23C4;
constexpr uint32_t tag_attachment_uid = 0x23C6;
constexpr uint32_t simple_tag = 0x27C8;
constexpr uint32_t tag_name = 0x5A3;
constexpr uint32_t tag_string = 0x487;
constexpr uint32_t tag_language = 0x47A;
constexpr uint32_t tag_default = 0x484;

// Padding anywhere.
constexpr uint32_t void_element = 0x6C;

}  // namespace id
}  // namespace Matroska
