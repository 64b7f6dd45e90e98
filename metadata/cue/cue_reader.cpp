// Reading a sheet in two passes: the first collects the tracks with their files, flags and index times;
// the second reads the whole text once more for each track and builds that track's fields.
#include <cstdio>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/cue/cue_lines.h"
#include "metadata/cue/cue_sheet.h"
#include "metadata/replaygain.h"

namespace cue_parser {

kpl::rc_ptr<cue_track> cue_track_list::append() {
    kpl::rc_ptr<cue_track> track(new cue_track);
    push_back(track.get());
    return track;
}

namespace {

bool equals_nocase(const char* text, uint32_t length, const char* name) {
    return kpl::stricmp_ascii_counted(text, length, name, kpl::text_npos) == 0;
}

void check_audio_type(const char* type, uint32_t length) {
    if (!equals_nocase(type, length, "audio")) throw exception_cue("only tracks of type AUDIO supported");
}

// Index times of one track as the sheet gives them, with the rule for a missing INDEX 00.
struct index_state {
    double pregap = 0;
    double times[cue_index_count] = {};
    bool has_00 = false;
    bool has_01 = false;

    void set(uint32_t number, uint32_t frames) {
        if (number >= cue_index_count) return;
        times[number] = static_cast<double>(frames) / cue_frames_per_second;
        if (number == 0) has_00 = true;
        if (number == 1) has_01 = true;
    }
    // Requires INDEX 01; without INDEX 00 the track's index 00 lies the pregap before INDEX 01 (negative
    // when that is before the start of the file).
    void complete() {
        if (!has_01) throw exception_cue("INDEX 01 not set");
        if (!has_00) times[0] = times[1] - pregap;
    }
    void reset() { *this = index_state(); }
};

class cue_track_collector final : public cue_line_handler {
public:
    explicit cue_track_collector(cue_track_list& out) : m_out(out) {}

    void file(const char* name, uint32_t name_length, const char* type, uint32_t type_length) override {
        static const char* const types[] = {"WAVE", "MP3", "AIFF", "APE", "FLAC", "WV", "WAVPACK"};
        bool known = false;
        for (const char* t : types) known = known || equals_nocase(type, type_length, t);
        if (!known) {
            kpl::utf8_string_pow2 message("expected WAVE, MP3 or AIFF, got : \"");
            message.append(type, type_length);
            message << "\"";
            throw exception_cue(message.c_str());
        }
        m_file.assign(name, name_length);
        m_has_file = true;
    }

    void track(uint32_t number, const char* type, uint32_t type_length) override {
        check_audio_type(type, type_length);
        finish_pending();
        if (!m_has_file) throw exception_cue("declaring a track with no file set");
        // A number used twice would give two tracks one subsong; the sheet is refused instead.
        if (number < cue_index_count && m_used[number]) throw exception_cue("invalid track number");
        if (number < cue_index_count) m_used[number] = true;
        m_pending = number;
        m_pending_file = m_file;
    }

    void pregap(uint32_t frames) override { m_index.pregap = static_cast<double>(frames) / cue_frames_per_second; }
    void index(uint32_t number, uint32_t frames) override { m_index.set(number, frames); }
    void flags(const char* text, uint32_t length) override { m_flags.assign(text, length); }
    void title(const char*, uint32_t) override {}
    void performer(const char*, uint32_t) override {}
    void songwriter(const char*, uint32_t) override {}
    void isrc(const char*, uint32_t) override {}
    void catalog(const char*, uint32_t) override {}
    void rem(const char*, uint32_t) override {}

    // Called at the next TRACK and after the last line.
    void finish_pending() {
        if (m_pending == 0) return;
        if (m_pending > 99) throw exception_cue("track number out of range");
        m_index.complete();
        const double* t = m_index.times;
        bool ordered = t[0] <= t[1];
        for (uint32_t n = 2; ordered && n < cue_index_count && t[n] > 0; ++n) ordered = t[n] >= t[n - 1];
        if (!ordered) throw exception_cue("invalid index list");

        kpl::rc_ptr<cue_track> track = m_out.append();
        track->number = m_pending;
        track->file_name = m_pending_file;
        track->flags = m_flags;
        for (uint32_t n = 0; n < cue_index_count; ++n) track->index_times[n] = t[n];

        m_pending = 0;
        m_index.reset();
        m_flags.reset();
    }

private:
    cue_track_list& m_out;
    kpl::utf8_string_tight m_file;
    bool m_has_file = false;
    uint32_t m_pending = 0;
    kpl::utf8_string_tight m_pending_file;
    index_state m_index;
    kpl::utf8_string_tight m_flags;
    bool m_used[cue_index_count] = {};
};

struct field_pair {
    kpl::utf8_string_tight name;
    kpl::utf8_string_tight value;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

class cue_track_info_builder final : public cue_line_handler {
public:
    explicit cue_track_info_builder(uint32_t wanted) : m_wanted(wanted) {}

    void file(const char*, uint32_t, const char*, uint32_t) override {}

    void track(uint32_t number, const char* type, uint32_t type_length) override {
        ++m_track_lines;
        m_current = number;
        if (number == m_wanted) check_audio_type(type, type_length);
    }

    void pregap(uint32_t frames) override {
        if (m_current == m_wanted) m_index.pregap = static_cast<double>(frames) / cue_frames_per_second;
    }
    void index(uint32_t number, uint32_t frames) override {
        if (m_current == m_wanted) m_index.set(number, frames);
    }

    void title(const char* text, uint32_t length) override { store("title", text, length); }
    void performer(const char* text, uint32_t length) override { store("artist", text, length); }
    void songwriter(const char* text, uint32_t length) override { store("songwriter", text, length); }
    void isrc(const char* text, uint32_t length) override { store("isrc", text, length); }
    void catalog(const char* text, uint32_t length) override { store("catalog", text, length); }
    void flags(const char*, uint32_t) override {}

    void rem(const char* text, uint32_t length) override {
        static const char* const keys[] = {"genre",
                                           "date",
                                           "discid",
                                           "comment",
                                           "replaygain_track_gain",
                                           "replaygain_track_peak",
                                           "replaygain_album_gain",
                                           "replaygain_album_peak"};
        const char* end = text + length;
        const char* p = text;
        while (p < end && !is_blank(*p)) ++p;
        uint32_t key_length = static_cast<uint32_t>(p - text);
        bool known = false;
        for (const char* k : keys) known = known || equals_nocase(text, key_length, k);
        if (!known) return;
        while (p < end && is_blank(*p)) ++p;
        const char* value = p;
        uint32_t value_length = static_cast<uint32_t>(end - p);
        if (p < end && *p == '"') {
            const char* q = ++p;
            while (q < end && *q != '"') ++q;
            if (q == end) throw exception_cue("invalid REM syntax");
            value = p;
            value_length = static_cast<uint32_t>(q - p);
        }
        if (value_length == 0) return;
        kpl::utf8_string_tight key(text, key_length);
        store(key.c_str(), value, value_length);
    }

    // After the last line: the fields of the wanted track go into its info.
    void fill(cue_track& track) {
        m_index.complete();
        const double* t = m_index.times;
        track_info& info = track.info;

        // Technical info: where the track lies in the file.
        info.set_cue_index_points(t);

        if (m_performer_differs) {
            const field_pair* global_artist = last_pair(m_global, "artist");
            const field_pair* own_artist = last_pair(m_track, "artist");
            if (global_artist) info.meta_set("album artist", track_info::npos, global_artist->value.c_str(), global_artist->value.length());
            const field_pair* artist = own_artist ? own_artist : global_artist;
            if (artist) info.meta_set("artist", track_info::npos, artist->value.c_str(), artist->value.length());
            drop_pairs(m_global, "artist");
            drop_pairs(m_track, "artist");
        }

        replaygain_values replaygain;
        apply(m_global, info, replaygain);
        apply(m_track, info, replaygain);

        kpl::utf8_string_pow2 number;
        number << track.number;
        info.meta_set("tracknumber", track_info::npos, number.c_str(), number.length());
        number.reset();
        number << m_track_lines;
        info.meta_set("totaltracks", track_info::npos, number.c_str(), number.length());
        info.set_replaygain(replaygain);
    }

private:
    void store(const char* name, const char* value, uint32_t length) {
        field_pair pair;
        pair.value.assign(value, length);
        if (m_current == 0) {
            // Before the first TRACK: the sheet's own fields.
            bool is_title = kpl::stricmp_ascii(name, "title") == 0;
            pair.name = is_title ? "album" : name;
            if (kpl::stricmp_ascii(name, "artist") == 0) m_global_performer = pair.value;
            m_global.append(std::move(pair));
            return;
        }
        if (kpl::stricmp_ascii(name, "artist") == 0 && !m_global_performer.is_empty() &&
            kpl::stricmp_utf8(m_global_performer.c_str(), pair.value.c_str()) != 0) {
            m_performer_differs = true;
        }
        if (m_current != m_wanted) return;
        pair.name = name;
        m_track.append(std::move(pair));
    }

    static const field_pair* last_pair(const kpl::array<field_pair>& pairs, const char* name) {
        const field_pair* found = nullptr;
        for (const field_pair& p : pairs) {
            if (kpl::stricmp_ascii(p.name.c_str(), name) == 0) found = &p;
        }
        return found;
    }

    static void drop_pairs(kpl::array<field_pair>& pairs, const char* name) {
        for (uint32_t i = pairs.count(); i-- > 0;) {
            if (kpl::stricmp_ascii(pairs[i].name.c_str(), name) == 0) pairs.remove_at(i);
        }
    }

    static void apply(const kpl::array<field_pair>& pairs, track_info& info, replaygain_values& replaygain) {
        for (const field_pair& p : pairs) {
            if (replaygain_parse_field(p.name.c_str(), p.value.c_str(), p.value.length(), replaygain)) continue;
            info.meta_set(p.name.c_str(), p.name.length(), p.value.c_str(), p.value.length());
        }
    }

    uint32_t m_wanted;
    uint32_t m_current = 0;
    uint32_t m_track_lines = 0;
    index_state m_index;
    kpl::utf8_string_tight m_global_performer;
    bool m_performer_differs = false;
    kpl::array<field_pair> m_global;
    kpl::array<field_pair> m_track;
};

[[noreturn]] void throw_bad_cuesheet(const exception_cue& e) {
    kpl::utf8_string_pow2 message("Error parsing cuesheet: ");
    message << e.what();
    throw exception_bad_cuesheet(message.c_str());
}

}  // namespace

void cue_parse(const char* text, cue_track_list& out) {
    if (!text) text = "";
    try {
        // Tracks already in the list belong to someone else's sheet.
        cue_track* before = out.last_node();
        cue_track_collector collector(out);
        cue_parse_lines(text, collector);
        collector.finish_pending();

        kpl::rc_ptr<cue_track> track(before ? before->next : out.first_node());
        for (; track; kpl::rc_iterator_next(track)) {
            cue_track_info_builder builder(track->number);
            cue_parse_lines(text, builder);
            builder.fill(*track);
        }
    } catch (const exception_cue& e) {
        throw_bad_cuesheet(e);
    }
}

}  // namespace cue_parser
