// The now-playing lines: title and time, then artist, album and album artist with their library links.
#include "ui/now_playing_lines.h"

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "library/library_view_model.h"
#include "metadata/browse_fields.h"
#include "metadata/track_handle.h"
#include "playback/playback_controller.h"
#include "shell/localization.h"

const char* const now_playing_source::script_texts[script_count] = {
    "%title%", " '['%playback_time%[ / %length%]']'", "%artist%", "$if(%track artist%,%album artist%,)",
    "%album%", "%album artist%", "[%date%]",
};

namespace {

std::wstring wide(const std::string& utf8) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, utf8.c_str(), utf8.size());
    return w.c_str();
}

std::string text_of(now_playing_source& source, now_playing_source::script_id script) {
    std::string out;
    source.format(script, out);
    return out;
}

// The names joined by ", ": links to each artist in the library view, or plain text.
void append_artists(navigation_text& out, const std::vector<std::wstring>& names, bool links) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out.append_escaped(", ");
        if (links) {
            library_view_key key;
            key.artists.append(list_text(names[i]));
            out.append_link(names[i].c_str(), key);
        } else {
            out.append_text(names[i].c_str());
        }
    }
}

}  // namespace

controller_now_playing_source::controller_now_playing_source(playback_controller& controller)
    : m_controller(controller) {
    for (int i = 0; i < script_count; ++i)
        if (!title_script_compiler::get().compile(m_scripts[i], script_texts[i]) || !m_scripts[i])
            throw kpl::exception_bug_check_v2();
}

bool controller_now_playing_source::format(script_id script, std::string& out) {
    kpl::utf8_string_pow2 text;
    const bool playing = m_controller.format_title(nullptr, text, *m_scripts[script], nullptr, 0);
    out.assign(text.c_str(), text.length());
    return playing;
}

bool controller_now_playing_source::is_playing() { return m_controller.is_playing(); }

void controller_now_playing_source::artist_values(std::vector<std::wstring>& out) {
    out.clear();
    kpl::rc_ptr<track_handle> track;
    browse_fields_builder record;
    if (m_controller.get_now_playing(track) && track && track->copy_browse_fields(record))
        out = library_value_texts(record.get(browse_artist));
}

void controller_now_playing_source::album_artist_values(std::vector<std::wstring>& out) {
    out.clear();
    kpl::rc_ptr<track_handle> track;
    browse_fields_builder record;
    if (m_controller.get_now_playing(track) && track && track->copy_browse_fields(record))
        out = library_album_artist_texts(record);
}

void build_now_playing_lines(now_playing_lines& out, now_playing_source& source, bool library_mode) {
    out.line1 = syslink_text();
    out.line2.clear();
    out.has_album_location = false;
    out.album_location = library_view_key();

    std::string title;
    if (!source.format(now_playing_source::title, title)) {
        out.line1.append_escaped(
            localization_table::get_text(source.is_playing() ? "ui_notice_playback_starting" : "ui_notice_playback_stopped"));
        return;
    }
    out.line1.append_link(wide(title).c_str());
    out.line1.append_escaped(text_of(source, now_playing_source::time).c_str());

    navigation_text& line = out.line2;
    const std::string artist = text_of(source, now_playing_source::artist);
    if (artist != "?") {
        std::vector<std::wstring> names;
        source.artist_values(names);
        if (names.empty()) names.push_back(wide(artist));
        line.append_escaped(localization_table::get_text("ui_np_artist_prefix"));
        line.append_escaped(" ");
        append_artists(line, names, library_mode);
    } else {
        line.append_escaped(localization_table::get_text("ui_np_unknown_artist"));
    }

    const std::string album = text_of(source, now_playing_source::album);
    if (album == "?") return;
    std::string label = album;
    const std::string date = text_of(source, now_playing_source::date);
    if (!date.empty()) label += " [" + date + "]";
    line.append_escaped(", ");
    line.append_escaped(localization_table::get_text("ui_np_album_prefix"));
    line.append_escaped(" ");

    std::vector<std::wstring> album_artists;
    if (text_of(source, now_playing_source::album_artist) != "?") source.album_artist_values(album_artists);
    if (library_mode && !album_artists.empty()) {
        library_view_key place;
        for (const std::wstring& name : album_artists) place.artists.append(list_text(name));
        place.album = list_text(wide(label));
        line.append_link(wide(label).c_str(), place);
        out.album_location = place;
        out.has_album_location = true;
    } else {
        line.append_text(wide(label).c_str());
    }

    const std::string by = text_of(source, now_playing_source::suffix_artist);
    if (by.empty()) return;
    const std::string suffix = localization_table::get_text("ui_np_album_suffix");
    const size_t mark = suffix.find("{artist}");
    if (mark == std::string::npos) return;
    std::vector<std::wstring> names = album_artists;
    if (names.empty()) names.push_back(wide(by));
    line.append_escaped(suffix.substr(0, mark).c_str());
    append_artists(line, names, library_mode);
    line.append_escaped(suffix.substr(mark + 8).c_str());
}
