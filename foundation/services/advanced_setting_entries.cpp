#include "foundation/services/advanced_setting_entries.h"

namespace advanced_settings {

advanced_branch_entry fading(fading_guid, "Fading", playback_parent_guid);
advanced_integer_entry fade_out_ms = advanced_integer_entry::register_fade(1, "Fade out (ms)");
advanced_integer_entry fade_on_seek_ms = advanced_integer_entry::register_fade(0, "Fade on seek (ms)");
advanced_integer_entry fade_on_pause_ms = advanced_integer_entry::register_fade(2, "Fade on pause (ms)");
advanced_text_entry volume_step_db("1.0", playback_parent_guid, "Volume step (dB)");
advanced_checkbox_entry show_error_popups("Show error message popups", playback_parent_guid);
advanced_checkbox_entry wheel_scrolls_object_below_pointer(
    "Mouse wheel: scroll the object below the pointer rather than the object having keyboard focus",
    display_parent_guid);

advanced_branch_entry properties_dialog(properties_dialog_guid, "Properties dialog", display_parent_guid);
advanced_text_entry multiline_fields("COMMENT;LYRICS;BIOGRAPHY", properties_dialog_guid, "Multiline fields");
advanced_text_entry multivalue_fields("ARTIST;ALBUM ARTIST;PRODUCER;COMPOSER;PERFORMER;GENRE", properties_dialog_guid,
                                      "Multivalue fields");
advanced_text_entry title_display_format("%TITLE%", properties_dialog_guid, "Title display format");

advanced_branch_entry mp3(mp3_guid, "MP3", tagging_parent_guid);
advanced_branch_entry preferred_tag_writing_scheme(preferred_tag_writing_scheme_guid, "Preferred tag writing scheme",
                                                   mp3_guid);
advanced_radio_entry tag_scheme_id3v2_id3v1("ID3v2 + ID3v1", 0, true);
advanced_radio_entry tag_scheme_id3v2("ID3v2", 1, false);
advanced_radio_entry tag_scheme_ape_id3v1("APE + ID3v1", 2, false);
advanced_radio_entry tag_scheme_ape("APE", 3, false);

advanced_locked_text_entry correction_file_folders("", "Additional correction file folders");

mp3_tag_scheme preferred_mp3_tag_scheme() noexcept {
    advanced_radio_entry* choices[] = {&tag_scheme_id3v2_id3v1, &tag_scheme_id3v2, &tag_scheme_ape_id3v1,
                                       &tag_scheme_ape};
    for (int i = 0; i < 4; ++i) {
        if ((*choices[i])->get_state()) return static_cast<mp3_tag_scheme>(i);
    }
    return mp3_tag_scheme::id3v2_id3v1;
}

}  // namespace advanced_settings
