#include "metadata/tags/id3v2_mapping.h"

#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/text_compare.h"
#include "metadata/replaygain.h"
#include "metadata/tags/id3_text.h"
#include "metadata/tags/id3v1_genres.h"
#include "metadata/tags/tag_exceptions.h"

using id3parser::frame;

const char* const id3v2_various_artists = "Various Artists";

namespace {

uint32_t id_of(const char* text) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8 | static_cast<uint8_t>(text[3]);
}

enum rule_kind {
    rule_single,
    rule_multi,
    rule_url,
    rule_genre,
    rule_number,
    rule_year,
    rule_day_month,
    rule_comment,
    rule_lyrics,
    rule_user_text,
    rule_user_url,
};

struct read_rule {
    const char* id;
    rule_kind kind;
    const char* field;
    const char* total_field;
};

const read_rule read_rules[] = {
    {"TALB", rule_single, "album", nullptr},
    {"TBPM", rule_single, "bpm", nullptr},
    {"TCMP", rule_single, "itunescompilation", nullptr},
    {"TCOP", rule_single, "copyright", nullptr},
    {"TDRC", rule_single, "date", nullptr},
    {"TDRL", rule_single, "release date", nullptr},
    {"TDOR", rule_single, "original release date", nullptr},
    {"TORY", rule_single, "original release date", nullptr},
    {"TENC", rule_single, "encoded by", nullptr},
    {"TIT1", rule_single, "content group", nullptr},
    {"TIT2", rule_single, "title", nullptr},
    {"TIT3", rule_single, "subtitle", nullptr},
    {"TLAN", rule_single, "language", nullptr},
    {"TMED", rule_single, "media type", nullptr},
    {"TOWN", rule_single, "owner", nullptr},
    {"TPUB", rule_single, "publisher", nullptr},
    {"TRSN", rule_single, "radio station", nullptr},
    {"TRSO", rule_single, "radio station owner", nullptr},
    {"TSRC", rule_single, "isrc", nullptr},
    {"TSSE", rule_single, "encoding settings", nullptr},
    {"TSST", rule_single, "set subtitle", nullptr},
    {"TRDA", rule_single, "recording dates", nullptr},
    {"TCOM", rule_multi, "composer", nullptr},
    {"TEXT", rule_multi, "lyricist", nullptr},
    {"TOPE", rule_multi, "original artist", nullptr},
    {"TOAL", rule_multi, "original album", nullptr},
    {"TPE1", rule_multi, "artist", nullptr},
    {"TPE2", rule_multi, "album artist", nullptr},
    {"TPE3", rule_multi, "conductor", nullptr},
    {"TPE4", rule_multi, "remixed by", nullptr},
    {"TSO2", rule_multi, "albumartistsortorder", nullptr},
    {"TSOA", rule_multi, "albumsortorder", nullptr},
    {"TSOP", rule_multi, "artistsortorder", nullptr},
    {"TSOC", rule_multi, "composersortorder", nullptr},
    {"TSOT", rule_multi, "titlesortorder", nullptr},
    {"TCON", rule_genre, "genre", nullptr},
    {"TRCK", rule_number, "tracknumber", "totaltracks"},
    {"TPOS", rule_number, "discnumber", "totaldiscs"},
    {"TYER", rule_year, "date", nullptr},
    {"TDAT", rule_day_month, "date", nullptr},
    {"COMM", rule_comment, "comment", nullptr},
    {"USLT", rule_lyrics, "unsynced lyrics", nullptr},
    {"TXXX", rule_user_text, nullptr, nullptr},
    {"WXXX", rule_user_url, "www", nullptr},
    {"WCOM", rule_url, "commercial information url", nullptr},
    {"WCOP", rule_url, "copyright url", nullptr},
    {"WOAF", rule_url, "file webpage url", nullptr},
    {"WOAR", rule_url, "artist webpage url", nullptr},
    {"WOAS", rule_url, "source webpage url", nullptr},
    {"WORS", rule_url, "internet radio webpage url", nullptr},
    {"WPAY", rule_url, "payment url", nullptr},
    {"WPUB", rule_url, "publisher url", nullptr},
};

const read_rule* find_rule(uint32_t id) {
    for (const read_rule& r : read_rules) {
        if (id_of(r.id) == id) return &r;
    }
    return nullptr;
}

const char* const replaygain_names[4] = {"replaygain_album_gain", "replaygain_album_peak", "replaygain_track_gain",
                                         "replaygain_track_peak"};

bool is_replaygain_name(const char* name) {
    for (const char* n : replaygain_names) {
        if (kpl::stricmp_ascii(n, name) == 0) return true;
    }
    return false;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether the text has exactly the shape of the pattern: '#' is any digit, other characters match
// themselves.
bool has_shape(const std::string& text, const char* pattern) {
    size_t n = std::strlen(pattern);
    if (text.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (pattern[i] == '#' ? !is_digit(text[i]) : text[i] != pattern[i]) return false;
    }
    return true;
}

bool has_digit(const std::string& text) {
    for (char c : text) {
        if (is_digit(c)) return true;
    }
    return false;
}

bool starts_with_ascii_nocase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

void add(id3v2_field_map& map, const char* name, const std::string& value) {
    map.add(name, value.c_str(), static_cast<uint32_t>(value.size()));
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::string::npos) break;
        parts.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string join(const kpl::array<kpl::utf8_string_tight>& values, const char* separator) {
    std::string out;
    for (uint32_t i = 0; i < values.count(); ++i) {
        if (i) out += separator;
        out.append(values[i].c_str(), values[i].length());
    }
    return out;
}

// One genre text of a TCON frame as the genre it stands for ("" for none).
std::string genre_of_part(const std::string& part) {
    if (part.size() >= 2 && part[0] == '(' && is_digit(part[1])) {
        uint32_t number = 0;
        for (size_t i = 1; i < part.size() && is_digit(part[i]); ++i) {
            number = number * 10 + static_cast<uint32_t>(part[i] - '0');
            if (number >= id3v1_genre_v2_limit) return std::string();
        }
        return id3v1_genre_name(number);
    }
    if (part == "(RX)") return "Remix";
    if (part == "(CR)") return "Cover";
    if (part.compare(0, 2, "((") == 0) return part.substr(1);
    if (!part.empty() && part[0] == '(') return std::string();
    return part;
}

// The checks of the strict reading that the keeping of old frames uses; a failure is a parse error.
void strict_checks(const frame& f, int version, const read_rule& rule) {
    const bool v23 = version <= 3;
    const char* id = rule.id;
    if (v23 && id[0] == 'T') {
        uint32_t wanted = rule.kind == rule_user_text ? 2 : 1;
        if (id3parser::valueCount(f) != wanted) throw id3parser::parseError();
    }
    bool v4_only = !std::strcmp(id, "TDRC") || !std::strcmp(id, "TDOR") || !std::strcmp(id, "TDRL");
    bool v23_only = !std::strcmp(id, "TYER") || !std::strcmp(id, "TDAT") || !std::strcmp(id, "TORY") || !std::strcmp(id, "TRDA");
    if ((v23 && v4_only) || (!v23 && v23_only)) throw id3parser::parseError();
    if (rule.kind == rule_year || rule.kind == rule_day_month) {
        if (!has_shape(id3parser::getValue(f, 0, true), "####")) throw id3parser::parseError();
    }
    if (rule.kind == rule_user_text) {
        if (id3parser::valueCount(f) < 2) throw id3parser::parseError();
        id3parser::textCursor cursor;
        std::string name = id3parser::getValue(f, 0, cursor, true);
        if (is_replaygain_name(name.c_str()) && !has_digit(id3parser::getValue(f, 1, cursor, true))) {
            throw id3parser::parseError();
        }
    }
}

bool description_has_bracket_number(const std::string& name) {
    if (name.size() < 3 || name.back() != ']') return false;
    size_t open = name.find_last_of('[');
    if (open == std::string::npos || open + 2 >= name.size()) return false;
    for (size_t i = open + 1; i + 1 < name.size(); ++i) {
        if (!is_digit(name[i])) return false;
    }
    return true;
}

std::vector<std::string> all_strings(const frame& f, bool strict) {
    std::vector<std::string> out;
    uint32_t n = id3parser::valueCount(f);
    id3parser::textCursor cursor;
    for (uint32_t i = 0; i < n; ++i) out.push_back(id3parser::getValue(f, i, cursor, strict));
    return out;
}

// Maps one frame into the map. Every string is read before the map changes, so a parse error leaves the
// map as it was.
void map_frame(const frame& f, int version, bool strict, id3v2_field_map& map) {
    const read_rule* rule = find_rule(f.id);
    if (!rule) return;
    if (strict) strict_checks(f, version, *rule);

    switch (rule->kind) {
    case rule_single:
        add(map, rule->field, id3parser::getValue(f, 0, strict));
        break;
    case rule_multi: {
        std::vector<std::string> strings = all_strings(f, strict);
        if (strings.empty()) {
            map.at(rule->field);
        } else if (version == 4 || strings.size() > 1) {
            for (const std::string& s : strings) add(map, rule->field, s);
        } else {
            for (const std::string& s : split(strings[0], " / ")) add(map, rule->field, s);
        }
        break;
    }
    case rule_url:
        add(map, rule->field, id3parser::urlText(f));
        break;
    case rule_genre: {
        std::vector<std::string> genres;
        for (const std::string& s : all_strings(f, strict)) {
            if (version == 4) {
                genres.push_back(genre_of_part(s));
                continue;
            }
            std::vector<std::string> parts = split(s, ";");
            for (size_t i = 0; i < parts.size(); ++i) {
                std::string& p = parts[i];
                size_t lead = p.find_first_not_of(' ');
                p.erase(0, lead == std::string::npos ? p.size() : lead);
                if (i + 1 < parts.size()) {
                    size_t last = p.find_last_not_of(' ');
                    p.erase(last == std::string::npos ? 0 : last + 1);
                }
                genres.push_back(genre_of_part(p));
            }
        }
        map.at(rule->field);
        for (const std::string& g : genres) add(map, rule->field, g);
        break;
    }
    case rule_number: {
        std::string s = id3parser::getValue(f, 0, strict);
        size_t slash = s.find('/');
        if (slash == std::string::npos) {
            add(map, rule->field, s);
        } else {
            std::string number = s.substr(0, slash), total = s.substr(slash + 1);
            if (!number.empty()) add(map, rule->field, number);
            if (!total.empty()) add(map, rule->total_field, total);
        }
        break;
    }
    case rule_year: {
        std::string y = id3parser::getValue(f, 0, strict);
        if (!has_shape(y, "####")) {
            if (!map.has_value("date")) add(map, "date", y);
            break;
        }
        id3v2_field_map::entry& date = map.at("date");
        if (date.values.count() == 0) date.values.append(kpl::utf8_string_tight());
        std::string d(date.values[0].c_str(), date.values[0].length());
        // A month (and day) that a TDAT frame put there already stays behind the new year.
        std::string updated = (has_shape(d, "####-##-##") || has_shape(d, "####-##")) ? y + d.substr(4) : y;
        date.values[0] = updated.c_str();
        break;
    }
    case rule_day_month: {
        std::string t = id3parser::getValue(f, 0, strict);
        if (!has_shape(t, "####")) {
            if (!map.has_value("date")) add(map, "date", t);
            break;
        }
        id3v2_field_map::entry& date = map.at("date");
        if (date.values.count() == 0) date.values.append(kpl::utf8_string_tight());
        std::string d(date.values[0].c_str(), date.values[0].length());
        std::string year = has_shape(d, "####") ? d
                           : (has_shape(d, "####-##-##") || has_shape(d, "####-##")) ? d.substr(0, 4)
                                                                                      : std::string("0000");
        std::string updated = year + "-" + t.substr(2, 2);
        if (t.compare(0, 2, "00") != 0) updated += "-" + t.substr(0, 2);
        date.values[0] = updated.c_str();
        break;
    }
    case rule_comment: {
        id3parser::textCursor cursor;
        std::string description = id3parser::getValue(f, 0, cursor, strict);
        std::string text = id3parser::getValue(f, 1, cursor, strict);
        if (description.compare(0, 4, "iTun") == 0) break;
        std::string name = description.empty() ? std::string("comment") : "comment " + description;
        add(map, name.c_str(), text);
        break;
    }
    case rule_lyrics:
        add(map, rule->field, id3parser::getValue(f, 1, strict));
        break;
    case rule_user_text: {
        std::vector<std::string> strings = all_strings(f, strict);
        if (strings.size() < 2 || strings[0].empty()) break;
        std::string name = strings[0];
        if (is_replaygain_name(name.c_str())) {
            if (has_digit(strings[1])) add(map, name.c_str(), strings[1]);
            break;
        }
        if (description_has_bracket_number(name)) name.erase(name.find_last_of('['));
        if (name.empty()) break;
        for (size_t i = 1; i < strings.size(); ++i) add(map, name.c_str(), strings[i]);
        break;
    }
    case rule_user_url: {
        if (id3parser::valueCount(f) < 2) break;
        std::string description = id3parser::getValue(f, 0, strict);
        std::string url = id3parser::userUrl(f);
        std::string name = description.empty() ? std::string("www") : "www " + description;
        add(map, name.c_str(), url);
        break;
    }
    }
}

bool has_replaygain_field(const id3v2_field_map& map) {
    for (const char* n : replaygain_names) {
        if (map.find(n)) return true;
    }
    return false;
}

// Whether every field of the scratch map is in the working map with the same values in the same order.
bool fields_match(const id3v2_field_map& scratch, const id3v2_field_map& work) {
    for (uint32_t i = 0; i < scratch.count(); ++i) {
        const id3v2_field_map::entry& s = scratch[i];
        const id3v2_field_map::entry* w = work.find(s.name.c_str());
        if (!w || w->values.count() != s.values.count()) return false;
        for (uint32_t j = 0; j < s.values.count(); ++j) {
            if (std::strcmp(w->values[j].c_str(), s.values[j].c_str()) != 0) return false;
        }
    }
    return true;
}

void remove_fields(const id3v2_field_map& scratch, id3v2_field_map& work) {
    for (uint32_t i = 0; i < scratch.count(); ++i) work.remove(scratch[i].name.c_str());
}

// Moves the old frames that still say what the working map says into `kept` and removes their fields from
// the working map; the other old frames are dropped.
void keep_old_frames(std::vector<frame>& old, int version, id3v2_field_map& work, std::vector<frame>& kept) {
    std::vector<frame> remaining;
    for (frame& f : old) {
        if (f.id == id_of("TXXX")) {
            try {
                if (description_has_bracket_number(id3parser::getValue(f, 0, true))) continue;
            } catch (const id3parser::parseError&) {
                continue;
            }
        }
        id3v2_field_map scratch;
        try {
            map_frame(f, version, true, scratch);
        } catch (const id3parser::parseError&) {
            continue;
        }
        if (has_replaygain_field(scratch) || scratch.find("tracknumber") || scratch.find("discnumber")) continue;
        if (fields_match(scratch, work)) {
            remove_fields(scratch, work);
            kept.push_back(std::move(f));
        } else {
            remaining.push_back(std::move(f));
        }
    }

    // Fields that several frames make together: try groups of the frames that are left.
    const char* const groups[][2] = {{nullptr, nullptr}, {"COMM", nullptr}, {"USLT", nullptr}, {"TXXX", nullptr}, {"TYER", "TDAT"}};
    for (const auto& group : groups) {
        auto in_group = [&](const frame& f) {
            if (!group[0]) return true;
            return f.id == id_of(group[0]) || (group[1] && f.id == id_of(group[1]));
        };
        id3v2_field_map scratch;
        bool any = false;
        try {
            for (const frame& f : remaining) {
                if (!in_group(f)) continue;
                any = true;
                map_frame(f, version, false, scratch);
            }
        } catch (const id3parser::parseError&) {
            continue;
        }
        if (!any || has_replaygain_field(scratch) || !fields_match(scratch, work)) continue;
        remove_fields(scratch, work);
        std::vector<frame> rest;
        for (frame& f : remaining) {
            if (in_group(f)) {
                kept.push_back(std::move(f));
            } else {
                rest.push_back(std::move(f));
            }
        }
        remaining.swap(rest);
    }
}

// The builders of new frames. Each removes the fields it has written from the working map.
class frame_builder {
public:
    frame_builder(id3parser::tag& t, id3v2_field_map& work) : m_tag(t), m_work(work) {
        m_encoding = t.version == 4 ? 3 : 1;
    }

    void single(const char* id, const char* field) {
        const id3v2_field_map::entry* e = m_work.find(field);
        if (!e || e->values.count() != 1) return;
        frame f(id_of(id));
        id3parser::setText(f, e->values[0].c_str(), m_encoding);
        finish(f, field);
    }

    void multi(const char* id, const char* field) {
        const id3v2_field_map::entry* e = m_work.find(field);
        if (!e || e->values.count() == 0) return;
        frame f(id_of(id));
        if (m_tag.version == 4) {
            id3parser::setText(f, e->values[0].c_str(), m_encoding);
            for (uint32_t i = 1; i < e->values.count(); ++i) id3parser::appendText(f, e->values[i].c_str());
        } else {
            id3parser::setText(f, join(e->values, " / "), m_encoding);
        }
        finish(f, field);
    }

    void url(const char* id, const char* field) {
        const id3v2_field_map::entry* e = m_work.find(field);
        if (!e || e->values.count() != 1) return;
        frame f(id_of(id));
        id3parser::setUrl(f, e->values[0].c_str());
        finish(f, field);
    }

    void lyrics() {
        const id3v2_field_map::entry* e = m_work.find("unsynced lyrics");
        if (!e || e->values.count() != 1) return;
        frame f(id_of("USLT"));
        id3parser::setText(f, std::string(), m_encoding);
        id3parser::appendText(f, e->values[0].c_str());
        finish(f, "unsynced lyrics");
    }

    void genre() {
        const id3v2_field_map::entry* e = m_work.find("genre");
        if (!e || e->values.count() == 0) return;
        std::vector<std::string> values;
        for (uint32_t i = 0; i < e->values.count(); ++i) {
            std::string v = e->values[i].c_str();
            if (!v.empty() && v[0] == '(') v.insert(0, "(");
            values.push_back(v);
        }
        frame f(id_of("TCON"));
        if (m_tag.version == 4) {
            id3parser::setText(f, values[0], m_encoding);
            for (size_t i = 1; i < values.size(); ++i) id3parser::appendText(f, values[i]);
        } else {
            std::string joined;
            for (size_t i = 0; i < values.size(); ++i) joined += (i ? ";" : "") + values[i];
            id3parser::setText(f, joined, m_encoding);
        }
        finish(f, "genre");
    }

    void year_and_date() {
        const id3v2_field_map::entry* e = m_work.find("date");
        if (!e || e->values.count() != 1) return;
        std::string v = e->values[0].c_str();
        std::string year, day_month;
        if (has_shape(v, "####")) {
            year = v;
        } else if (has_shape(v, "####-##-##") || has_shape(v, "#### ## ##")) {
            year = v.substr(0, 4);
            day_month = v.substr(8, 2) + v.substr(5, 2);
        } else if (has_shape(v, "####-##")) {
            year = v.substr(0, 4);
            day_month = "00" + v.substr(5, 2);
        } else {
            // No 2.3 frame holds this date: it stays in the map and goes to a TXXX frame.
            return;
        }
        frame y(id_of("TYER"));
        id3parser::setAsciiText(y, year);
        m_tag.frames.push_back(std::move(y));
        if (!day_month.empty()) {
            frame d(id_of("TDAT"));
            id3parser::setAsciiText(d, day_month);
            m_tag.frames.push_back(std::move(d));
        }
        m_work.remove("date");
    }

    void original_year() {
        const id3v2_field_map::entry* e = m_work.find("original release date");
        if (!e || e->values.count() != 1 || !has_shape(e->values[0].c_str(), "####")) return;
        frame f(id_of("TORY"));
        id3parser::setAsciiText(f, e->values[0].c_str());
        finish(f, "original release date");
    }

    void timestamp(const char* id, const char* field) {
        const id3v2_field_map::entry* e = m_work.find(field);
        if (!e || e->values.count() != 1) return;
        std::string v = e->values[0].c_str();
        size_t slash = v.find('/');
        bool ok = slash == std::string::npos ? is_timestamp(v)
                                             : is_timestamp(v.substr(0, slash)) && is_timestamp(v.substr(slash + 1));
        if (!ok) return;
        frame f(id_of(id));
        id3parser::setAsciiText(f, v);
        finish(f, field);
    }

    void number(const char* id, const char* number_field, const char* total_field) {
        const id3v2_field_map::entry* n = m_work.find(number_field);
        if (!n || n->values.count() == 0) return;
        std::string text = n->values[0].c_str();
        const id3v2_field_map::entry* total = m_work.find(total_field);
        if (total) {
            size_t slash = text.find('/');
            if (slash == std::string::npos) {
                std::string t = total->values.count() ? total->values[0].c_str() : "";
                for (char& c : t) {
                    if (c == '/') c = '_';
                }
                text += "/" + t;
            } else {
                for (size_t i = slash + 1; i < text.size(); ++i) {
                    if (text[i] == '/') text[i] = '_';
                }
            }
            m_work.remove(total_field);
        }
        frame f(id_of(id));
        id3parser::setAsciiText(f, text);
        finish(f, number_field);
    }

    // One entry that no frame of its own took.
    void user(const id3v2_field_map::entry& e) {
        const char* name = e.name.c_str();
        const uint32_t count = e.values.count();
        if (count == 0) return;
        if (starts_with_ascii_nocase(name, "www")) {
            const char* rest = skip_blanks(name + 3);
            for (uint32_t i = 0; i < count; ++i) {
                frame f(id_of("WXXX"));
                id3parser::setText(f, rest, m_encoding);
                std::string url = id3parser::latin1FromUtf8(e.values[i].c_str());
                f.data.insert(f.data.end(), url.begin(), url.end());
                m_tag.frames.push_back(std::move(f));
            }
        } else if (starts_with_ascii_nocase(name, "comment")) {
            const char* rest = skip_blanks(name + 7);
            for (uint32_t i = 0; i < count; ++i) {
                frame f(id_of("COMM"));
                id3parser::setText(f, rest, m_encoding);
                id3parser::appendText(f, e.values[i].c_str());
                m_tag.frames.push_back(std::move(f));
            }
        } else if (is_replaygain_name(name)) {
            frame f(id_of("TXXX"));
            id3parser::setText(f, name, 0);
            id3parser::appendText(f, e.values[0].c_str());
            m_tag.frames.push_back(std::move(f));
        } else if (m_tag.version == 4) {
            frame f(id_of("TXXX"));
            id3parser::setText(f, name, m_encoding);
            for (uint32_t i = 0; i < count; ++i) id3parser::appendText(f, e.values[i].c_str());
            m_tag.frames.push_back(std::move(f));
        } else {
            for (uint32_t i = 0; i < count; ++i) {
                frame f(id_of("TXXX"));
                id3parser::setText(f, name, m_encoding);
                id3parser::appendText(f, e.values[i].c_str());
                m_tag.frames.push_back(std::move(f));
            }
        }
    }

private:
    static const char* skip_blanks(const char* text) {
        while (*text == ' ') ++text;
        return text;
    }

    static bool is_timestamp(const std::string& v) {
        static const char* const shapes[] = {"####", "####-##", "####-##-##", "####-##-##T##", "####-##-##T##:##",
                                             "####-##-##T##:##:##"};
        for (const char* s : shapes) {
            if (has_shape(v, s)) return true;
        }
        return false;
    }

    void finish(frame& f, const char* field) {
        m_tag.frames.push_back(std::move(f));
        m_work.remove(field);
    }

    id3parser::tag& m_tag;
    id3v2_field_map& m_work;
    uint8_t m_encoding;
};

}  // namespace

bool id3v2_is_compilation(const char* value) {
    if (!value) return false;
    const char* begin = value;
    while (*begin == ' ') ++begin;
    const char* end = begin + std::strlen(begin);
    while (end > begin && end[-1] == ' ') --end;
    const size_t length = static_cast<size_t>(end - begin);
    if (kpl::stricmp_ascii_counted(begin, length, "yes", 3) == 0 || kpl::stricmp_ascii_counted(begin, length, "true", 4) == 0) {
        return true;
    }
    // A number: set when it is not zero ("1", "-1"; "0" and "00" are no compilation).
    const char* p = begin;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end) return false;
    bool nonzero = false;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        nonzero = nonzero || *p != '0';
    }
    return nonzero;
}

bool id3v2_invents_album_artist(const id3parser::tag& t) {
    for (const frame& f : t.frames) {
        if (f.id == id_of("TPE2")) return false;
    }
    id3v2_field_map map;
    id3v2_frames_to_map(t, map);
    const id3v2_field_map::entry* e = map.find("album artist");
    return e && e->values.count() == 1 && std::strcmp(e->values[0].c_str(), id3v2_various_artists) == 0 &&
           id3v2_is_compilation(map.first_value("itunescompilation"));
}

void id3v2_frames_to_map(const id3parser::tag& t, id3v2_field_map& out) {
    for (const frame& f : t.frames) {
        try {
            map_frame(f, t.version, false, out);
        } catch (const id3parser::parseError&) {
            // The frame adds nothing.
        }
    }
    if (id3v2_is_compilation(out.first_value("itunescompilation")) && !out.find("album artist")) {
        out.set("album artist", id3v2_various_artists);
    }
}

void id3v2_map_to_info(const id3v2_field_map& map, track_info& info) {
    info.meta_remove_all();
    info.replaygain_reset();
    for (uint32_t i = 0; i < map.count(); ++i) {
        const id3v2_field_map::entry& e = map[i];
        if (e.values.count() == 0) continue;
        if (info.replaygain_try_set_field(e.name.c_str(), e.values[0].c_str())) continue;
        uint32_t field = info.meta_add(e.name.c_str(), track_info::npos, e.values[0].c_str(), track_info::npos);
        for (uint32_t j = 1; j < e.values.count(); ++j) info.meta_add_value(e.values[j].c_str(), field);
    }
}

void id3v2_info_to_map(const track_info& info, id3v2_field_map& out) {
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const char* name = info.meta_name(i);
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) {
            const char* value = info.meta_value(i, j);
            if (*value) out.add(name, value);
        }
    }
    replaygain_values rg = info.get_replaygain();
    char text[replaygain_peak_text_size > replaygain_gain_text_size ? replaygain_peak_text_size : replaygain_gain_text_size];
    if (replaygain_gain_to_text(text, rg.album_gain)) out.set(replaygain_names[0], text);
    if (replaygain_peak_to_text(text, rg.album_peak)) out.set(replaygain_names[1], text);
    if (replaygain_gain_to_text(text, rg.track_gain)) out.set(replaygain_names[2], text);
    if (replaygain_peak_to_text(text, rg.track_peak)) out.set(replaygain_names[3], text);
}

void id3v2_map_to_frames(id3parser::tag& t, const id3v2_field_map& map) {
    if (t.version != 3 && t.version != 4) {
        t.version = 3;
        id3parser::convertForVersion(t, 3);
    }
    id3v2_field_map work = map;
    std::vector<frame> old;
    old.swap(t.frames);

    // The album artist that reading shows for a compilation without TPE2 is not written back.
    const id3v2_field_map::entry* album_artist = work.find("album artist");
    if (album_artist && album_artist->values.count() == 1 &&
        std::strcmp(album_artist->values[0].c_str(), id3v2_various_artists) == 0 &&
        id3v2_is_compilation(work.first_value("itunescompilation"))) {
        bool had_tpe2 = false;
        for (const frame& f : old) had_tpe2 = had_tpe2 || f.id == id_of("TPE2");
        if (!had_tpe2) work.remove("album artist");
    }

    std::vector<frame> kept;
    keep_old_frames(old, t.version, work, kept);

    frame_builder b(t, work);
    static const char* const singles[][2] = {
        {"TIT1", "content group"}, {"TIT2", "title"},     {"TIT3", "subtitle"},       {"TSST", "set subtitle"},
        {"TALB", "album"},         {"TSRC", "isrc"},      {"TENC", "encoded by"},     {"TCOP", "copyright"},
        {"TPUB", "publisher"},     {"TOWN", "owner"},     {"TRSN", "radio station"},  {"TRSO", "radio station owner"},
        {"TSSE", "encoding settings"}, {"TBPM", "bpm"}, {"TMED", "media type"},
    };
    for (const auto& s : singles) b.single(s[0], s[1]);
    static const char* const sort_orders[][2] = {{"TSOT", "titlesortorder"}, {"TSOP", "artistsortorder"}, {"TSOA", "albumsortorder"},
                                                  {"TSO2", "albumartistsortorder"}, {"TSOC", "composersortorder"}};
    for (const auto& s : sort_orders) b.multi(s[0], s[1]);
    b.single("TLAN", "language");
    b.lyrics();
    b.genre();
    static const char* const urls[][2] = {
        {"WCOM", "commercial information url"}, {"WCOP", "copyright url"}, {"WOAF", "file webpage url"},
        {"WOAR", "artist webpage url"},         {"WOAS", "source webpage url"}, {"WORS", "internet radio webpage url"},
        {"WPAY", "payment url"},                {"WPUB", "publisher url"},
    };
    for (const auto& u : urls) b.url(u[0], u[1]);
    b.single("TCMP", "itunescompilation");
    if (t.version == 3) {
        b.year_and_date();
        b.original_year();
        b.single("TRDA", "recording dates");
    } else {
        b.timestamp("TDRC", "date");
        b.timestamp("TDOR", "original release date");
        b.timestamp("TDRL", "release date");
    }
    b.number("TRCK", "tracknumber", "totaltracks");
    b.number("TPOS", "discnumber", "totaldiscs");
    static const char* const people[][2] = {
        {"TOPE", "original artist"}, {"TOAL", "original album"}, {"TPE1", "artist"},   {"TPE2", "album artist"},
        {"TPE3", "conductor"},       {"TPE4", "remixed by"},     {"TCOM", "composer"}, {"TEXT", "lyricist"},
    };
    for (const auto& p : people) b.multi(p[0], p[1]);
    for (uint32_t i = 0; i < work.count(); ++i) b.user(work[i]);

    for (frame& f : kept) t.frames.push_back(std::move(f));
}

void id3v2_tag_to_info(const id3parser::tag& t, track_info& info) {
    id3v2_field_map map;
    id3v2_frames_to_map(t, map);
    id3v2_map_to_info(map, info);
}

void id3v2_check_field_names(const track_info& info) {
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const char* name = info.meta_name(i);
        // Reading cuts "[n]" off a user-text description: "part[2]" would come back as "part".
        if (!*name || description_has_bracket_number(name)) throw exception_tag_field_name(name, "an ID3v2 tag");
    }
}

void id3v2_info_to_tag(const track_info& info, id3parser::tag& t) {
    id3v2_check_field_names(info);
    id3v2_field_map map;
    id3v2_info_to_map(info, map);
    id3v2_map_to_frames(t, map);
}
