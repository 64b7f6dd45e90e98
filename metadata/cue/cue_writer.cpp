// Writing a track list as sheet text, and cue times as text.
#include <cmath>

#include "foundation/kpl/number_format.h"
#include "foundation/kpl/string.h"
#include "metadata/cue/cue_sheet.h"
#include "metadata/replaygain.h"

namespace cue_parser {

kpl::utf8_string_tight cue_time_text(double seconds) {
    double f = std::floor(seconds * cue_frames_per_second + 0.5);
    uint64_t frames = f > 0 ? static_cast<uint64_t>(f) : 0;
    uint64_t minutes = frames / (60 * cue_frames_per_second);
    uint64_t secs = frames / cue_frames_per_second % 60;
    kpl::utf8_string_tight out;
    out << kpl::format_uint64(minutes, 2).c_str() << ":" << kpl::format_uint64(secs, 2).c_str() << ":"
        << kpl::format_uint64(frames % cue_frames_per_second, 2).c_str();
    return out;
}

namespace {

bool has_value(const track_info& info, const char* name) {
    int32_t i = info.meta_find(name);
    return i >= 0 && info.meta_value_count(static_cast<uint32_t>(i)) > 0;
}

// The field's values joined by ", " and made safe for one line inside quotes: '"' becomes an apostrophe,
// CR LF a backslash, any other byte below 32 '_'.
kpl::utf8_string_pow2 clean_value(const track_info& info, const char* name) {
    kpl::utf8_string_pow2 joined;
    info.meta_get_joined(joined, name);
    kpl::utf8_string_pow2 out;
    const char* p = joined.c_str();
    while (*p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"') {
            out.append_char('\'');
        } else if (c == '\r' && p[1] == '\n') {
            out.append_char('\\');
            ++p;
        } else if (c < 32) {
            out.append_char('_');
        } else {
            out.append_char(*p);
        }
        ++p;
    }
    return out;
}

// ISRC and CATALOG lines need a value the reader sees: at least one character other than a space (the
// cleaned value holds no tabs).
bool has_word(const kpl::utf8_string& value) {
    for (const char* p = value.c_str(); *p; ++p) {
        if (*p != ' ') return true;
    }
    return false;
}

// Every track has the field, and its joined values are the same on all of them.
bool is_common(const cue_track_list& tracks, const char* name) {
    kpl::utf8_string_pow2 reference, joined;
    bool first = true;
    for (const cue_track* t = tracks.first_node(); t; t = t->next) {
        if (!has_value(t->info, name)) return false;
        if (first) {
            t->info.meta_get_joined(reference, name);
            first = false;
        } else {
            t->info.meta_get_joined(joined, name);
            if (joined != reference) return false;
        }
    }
    return true;
}

void line(kpl::utf8_string& out, const char* literal, const kpl::utf8_string& value, bool quoted) {
    out << literal;
    if (quoted) out << "\"";
    out << value;
    if (quoted) out << "\"";
    out << "\r\n";
}

// The FILE name as the reader takes it back. A quoted name cannot hold a double quote; a name with one
// (it came as an unquoted word) is written unquoted when it has no blanks, otherwise its quotes become
// apostrophes. Line breaks and other control bytes (tabs aside) become '_'.
void write_file_line(kpl::utf8_string& out, const kpl::utf8_string& name) {
    bool has_quote = false, has_blank = false;
    kpl::utf8_string_pow2 safe;
    for (const char* p = name.c_str(); *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        has_quote = has_quote || c == '"';
        has_blank = has_blank || c == ' ' || c == '\t';
        safe.append_char(c < 32 && c != '\t' ? '_' : *p);
    }
    out << "FILE ";
    if (has_quote && !has_blank && safe.c_str()[0] != '"') {
        out << safe;
    } else {
        kpl::utf8_string_pow2 quoted;
        for (const char* p = safe.c_str(); *p; ++p) quoted.append_char(*p == '"' ? '\'' : *p);
        out << "\"" << quoted << "\"";
    }
    out << " WAVE\r\n";
}

}  // namespace

void cue_write(kpl::utf8_string& out, const cue_track_list& tracks) {
    const cue_track* first = tracks.first_node();
    if (!first) return;

    // Header: the values all tracks share.
    static const char* const header_rems[][2] = {
        {"genre", "REM GENRE "}, {"date", "REM DATE "}, {"discid", "REM DISCID "}, {"comment", "REM COMMENT "}};
    for (const auto& rem : header_rems) {
        if (is_common(tracks, rem[0])) line(out, rem[1], clean_value(first->info, rem[0]), false);
    }
    if (is_common(tracks, "catalog")) {
        kpl::utf8_string_pow2 catalog = clean_value(first->info, "catalog");
        if (has_word(catalog)) line(out, "CATALOG ", catalog, false);
    }
    bool common_songwriter = is_common(tracks, "songwriter");
    if (common_songwriter) line(out, "SONGWRITER ", clean_value(first->info, "songwriter"), true);
    bool header_artist = false;
    if (is_common(tracks, "album artist")) {
        line(out, "PERFORMER ", clean_value(first->info, "album artist"), true);
    } else if (is_common(tracks, "artist")) {
        line(out, "PERFORMER ", clean_value(first->info, "artist"), true);
        header_artist = true;
    }
    if (is_common(tracks, "album")) line(out, "TITLE ", clean_value(first->info, "album"), true);
    replaygain_values album = first->info.get_replaygain();
    char number[replaygain_peak_text_size];
    if (replaygain_gain_to_text(number, album.album_gain)) out << "REM REPLAYGAIN_ALBUM_GAIN " << number << "\r\n";
    if (replaygain_peak_to_text(number, album.album_peak)) out << "REM REPLAYGAIN_ALBUM_PEAK " << number << "\r\n";
    bool common_date = is_common(tracks, "date");

    const kpl::utf8_string* last_file = nullptr;
    for (const cue_track* t = first; t; t = t->next) {
        const track_info& info = t->info;
        if (!last_file || *last_file != t->file_name) {
            write_file_line(out, t->file_name);
            last_file = &t->file_name;
        }
        out << "  TRACK " << kpl::format_uint64(t->number, 2).c_str() << " AUDIO\r\n";
        if (has_value(info, "title")) line(out, "    TITLE ", clean_value(info, "title"), true);
        if (!header_artist && has_value(info, "artist")) line(out, "    PERFORMER ", clean_value(info, "artist"), true);
        if (!common_songwriter && has_value(info, "songwriter")) {
            line(out, "    SONGWRITER ", clean_value(info, "songwriter"), true);
        }
        if (has_value(info, "isrc")) {
            kpl::utf8_string_pow2 isrc = clean_value(info, "isrc");
            if (has_word(isrc)) line(out, "    ISRC ", isrc, false);
        }
        if (!common_date && has_value(info, "date")) line(out, "    REM DATE ", clean_value(info, "date"), false);
        replaygain_values rg = info.get_replaygain();
        if (replaygain_gain_to_text(number, rg.track_gain)) out << "    REM REPLAYGAIN_TRACK_GAIN " << number << "\r\n";
        if (replaygain_peak_to_text(number, rg.track_peak)) out << "    REM REPLAYGAIN_TRACK_PEAK " << number << "\r\n";
        if (!t->flags.is_empty()) out << "    FLAGS " << t->flags << "\r\n";

        const double* index = t->index_times;
        if (index[1] > index[0]) {
            if (index[0] < 0) out << "    PREGAP " << cue_time_text(index[1] - index[0]) << "\r\n";
            else out << "    INDEX 00 " << cue_time_text(index[0]) << "\r\n";
        }
        out << "    INDEX 01 " << cue_time_text(index[1]) << "\r\n";
        for (uint32_t n = 2; n < cue_index_count && index[n] > 0; ++n) {
            out << "    INDEX " << kpl::format_uint64(n, 2).c_str() << " " << cue_time_text(index[n]) << "\r\n";
        }
    }
}

}  // namespace cue_parser
