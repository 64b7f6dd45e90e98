#pragma once
// The advanced settings of the program: every entry, registered at static initialisation. Their owners
// read them here:
//
//     uint64_t ms = advanced_settings::fade_on_pause_ms->get_value();          // 100 by default
//     if (advanced_settings::show_error_popups->get_state()) ...               // on by default
//     switch (advanced_settings::preferred_mp3_tag_scheme()) { ... }            // ID3v2 + ID3v1 by default
//
//   "Fading" (branch)                                                  under top-level {C48D430D-...}
//       "Fade on seek (ms)" 0, "Fade out (ms)" 1, "Fade on pause (ms)" 2   integers, 100, 0..10000
//   "Volume step (dB)"                       text "1.0"                 under {C48D430D-...}
//   "Show error message popups"              checkbox, on               under {C48D430D-...}
//   "Mouse wheel: scroll the object below the pointer rather than the object having keyboard focus"
//                                            checkbox, on               under {6C4BC1C8-...}
//   "Properties dialog" (branch)                                        under {6C4BC1C8-...}
//       "Multiline fields"   "COMMENT;LYRICS;BIOGRAPHY"
//       "Multivalue fields"  "ARTIST;ALBUM ARTIST;PRODUCER;COMPOSER;PERFORMER;GENRE"
//       "Title display format"  "%TITLE%"
//   "MP3" (branch)                                                      under {E8FE273F-...}
//       "Preferred tag writing scheme" (branch)
//           radios "ID3v2 + ID3v1" (on, 0), "ID3v2" (1), "APE + ID3v1" (2), "APE" (3)
//   "Additional correction file folders"     locked text, empty        under {904C272B-...}
//
// The three top-level parents are only GUIDs; no entry defines them.

#include "foundation/services/advanced_setting.h"

namespace advanced_settings {

// Top-level parents (no entry defines them).
constexpr kpl::guid playback_parent_guid = {0xC48D430D, 0x0112, 0x4922, {0x97, 0x23, 0x28, 0x38, 0xC7, 0xD9, 0x7D, 0xD7}};
constexpr kpl::guid display_parent_guid = {0x6C4BC1C8, 0xBAF4, 0x40C3, {0x9D, 0xB1, 0x09, 0x50, 0x7F, 0x0C, 0x0C, 0xB9}};
constexpr kpl::guid tagging_parent_guid = {0xE8FE273F, 0xDD00, 0x476E, {0xA7, 0x90, 0xE5, 0x9D, 0xF6, 0xB8, 0xF8, 0xD4}};

// Branch GUIDs.
constexpr kpl::guid fading_guid = advanced_integer_setting::parent_guid;
constexpr kpl::guid properties_dialog_guid = {0x5D59D46E, 0x6B72, 0x48D1, {0xAE, 0xB4, 0x55, 0x86, 0x85, 0x10, 0x27, 0x0E}};
constexpr kpl::guid mp3_guid = {0x471BA209, 0x0DFD, 0x4A36, {0x89, 0x4A, 0x99, 0x66, 0x16, 0x82, 0x60, 0x59}};
constexpr kpl::guid preferred_tag_writing_scheme_guid = advanced_radio_entry::group_guid;

extern advanced_branch_entry fading;
extern advanced_integer_entry fade_out_ms;
extern advanced_integer_entry fade_on_seek_ms;
extern advanced_integer_entry fade_on_pause_ms;
extern advanced_text_entry volume_step_db;
extern advanced_checkbox_entry show_error_popups;
extern advanced_checkbox_entry wheel_scrolls_object_below_pointer;

extern advanced_branch_entry properties_dialog;
extern advanced_text_entry multiline_fields;
extern advanced_text_entry multivalue_fields;
extern advanced_text_entry title_display_format;

extern advanced_branch_entry mp3;
extern advanced_branch_entry preferred_tag_writing_scheme;
extern advanced_radio_entry tag_scheme_id3v2_id3v1;
extern advanced_radio_entry tag_scheme_id3v2;
extern advanced_radio_entry tag_scheme_ape_id3v1;
extern advanced_radio_entry tag_scheme_ape;

extern advanced_locked_text_entry correction_file_folders;

// The MP3 tag writer's choice: the first radio of the group, in the order below, whose state is on; the
// first one when none is on.
enum class mp3_tag_scheme { id3v2_id3v1 = 0, id3v2 = 1, ape_id3v1 = 2, ape = 3 };
mp3_tag_scheme preferred_mp3_tag_scheme() noexcept;

}  // namespace advanced_settings
