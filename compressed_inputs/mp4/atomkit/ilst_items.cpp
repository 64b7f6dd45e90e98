// The iTunes-style item list: the item-type table, the genre list, reading and writing "ilst" items.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/parse_flags.h"
#include "compressed_inputs/mp4/atomkit/user_data.h"

namespace atomkit {

namespace {

const char* const g_genres[genre_count] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk",
    "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi",
    "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk/Rock", "National Folk", "Swing", "Fast-Fusion", "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",
    "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock",
    "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera",
    "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club",
    "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock",
    "Drum Solo", "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club House", "Hardcore",
    "Terror", "Indie", "BritPop", "NegerPunk", "Polsk Punk", "Beat", "Christian Gangsta", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary C", "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime",
    "JPop", "SynthPop"};
constexpr uint32_t written_genres = 80;

struct name_row {
    const char type[5];
    const char* field;
};
const name_row g_names[18] = {
    {"\xA9nam", "title"},           {"\xA9" "ART", "artist"},       {"\xA9wrt", "composer"},
    {"\xA9" "alb", "album"},        {"\xA9" "day", "year"},         {"\xA9too", "tool"},
    {"\xA9" "cmt", "comment"},      {"\xA9grp", "contentgroup"},    {"\xA9lyr", "lyrics"},
    {"aART", "album artist"},       {"soar", "artistsortorder"},    {"soal", "albumsortorder"},
    {"sonm", "titlesortorder"},     {"soaa", "albumartistsortorder"}, {"soco", "composersortorder"},
    {"cprt", "copyright"},          {"purd", "purchasedate"},       {"apID", "purchaseaccount"}};

uint32_t type_of(const char* t) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}

const uint32_t t_gnre = fourcc("gnre"), t_cgen = type_of("\xA9gen"), t_disk = fourcc("disk"),
               t_cpil = fourcc("cpil"), t_trkn = fourcc("trkn"), t_tmpo = fourcc("tmpo"), t_pcst = fourcc("pcst"),
               t_covr = fourcc("covr"), t_data = fourcc("data"), t_name = fourcc("name");

constexpr uint64_t max_cover = 16777216;

std::string read_text(byte_stream& s, uint64_t n) {
    s.check_available(n);
    std::string text(size_t(n), '\0');
    if (n) s.read_exact(&text[0], size_t(n));
    return text;
}

// Walks the item's children; the reader of "parse_ilst_item".
class item_visitor final : public box_visitor {
public:
    item_visitor(uint32_t type, field_set& fields) : m_type(type), m_fields(fields) {}

    void on_box(atom_stream& child, uint32_t type, uint64_t size) override {
        if (m_stored) return;
        if (type == t_data) {
            if (size < 8) throw exception_truncation();
            child.skip_exact(8);  // version, type code, locale
            if (m_type == t_gnre || m_type == t_tmpo) {
                if (size > 9) {
                    uint16_t v = read_u16(child);
                    if (m_type == t_tmpo) {
                        char text[32];
                        std::snprintf(text, sizeof text, "%.5u BPM", unsigned(v));
                        store_field(m_fields, "tempo", text);
                    } else if (v >= 1 && v <= genre_count) {
                        store_field(m_fields, "genre", g_genres[v - 1]);
                    }
                    m_stored = true;
                }
                return;
            }
            if (m_type == t_trkn || m_type == t_disk) {
                if (size > 13) {
                    read_u16(child);
                    uint16_t number = read_u16(child);
                    uint16_t total = read_u16(child);
                    const bool track = m_type == t_trkn;
                    store_field(m_fields, track ? "track" : "disc", std::to_string(number));
                    if (total) store_field(m_fields, track ? "totaltracks" : "totaldiscs", std::to_string(total));
                    m_stored = true;
                }
                return;
            }
            m_value = read_text(child, size - 8);
            m_has_value = true;
        } else if (type == t_name) {
            if (size < 4) throw exception_truncation();
            child.skip_exact(4);
            m_name = read_text(child, size - 4);
            m_has_name = true;
        }
    }

    bool finish() {
        if (m_stored) return true;
        if (!m_has_value) return false;
        std::string field;
        std::string value = m_value;
        if (!m_has_name) {
            if (m_type == t_gnre || m_type == t_cgen) field = "genre";
            else if (m_type == t_disk) field = "disc";
            else if (m_type == t_cpil) field = "itunescompilation";
            else if (m_type == t_trkn) field = "track";
            else if (m_type == t_tmpo) field = "tempo";
            else if (m_type == t_pcst) field = "itunespodcast";
            else if (const char* f = ilst_field_of_type(m_type)) field = f;
            else return false;
            if (field == "itunescompilation" || field == "itunespodcast") {
                if (value.empty()) return false;
                value = std::to_string(int(int8_t(value[0])));
            }
        } else {
            field = m_name;
            if (names_equal(field, "date")) field = "year";
            else if (names_equal(field, "tracknumber")) field = "track";
            else if (names_equal(field, "cdec")) field = "codec";
        }
        store_field(m_fields, field, value);
        return true;
    }

private:
    uint32_t m_type;
    field_set& m_fields;
    bool m_stored = false, m_has_value = false, m_has_name = false;
    std::string m_value, m_name;
};

class cover_visitor final : public box_visitor {
public:
    explicit cover_visitor(picture_ptr& cover) : m_cover(cover) {}
    void on_box(atom_stream& child, uint32_t type, uint64_t size) override {
        if (type != t_data || size <= 7) return;
        if (size - 8 > max_cover) throw exception("cover art atom too big");
        child.skip_exact(8);
        child.check_available(size - 8);
        auto picture = std::make_shared<picture_entry>();
        picture->name = "front cover";
        picture->data.resize(size_t(size - 8));
        if (!picture->data.empty()) child.read_exact(picture->data.data(), picture->data.size());
        m_cover = picture;
    }

private:
    picture_ptr& m_cover;
};

class ilst_visitor final : public box_visitor {
public:
    ilst_visitor(uint32_t flags, user_data& ud) : m_flags(flags), m_ud(ud) {}
    void on_box(atom_stream& child, uint32_t type, uint64_t size) override {
        if (type == t_covr) {
            if (m_flags & parse_pictures) {
                cover_visitor v(m_ud.cover);
                walk_children(child, size, v);
            }
            return;
        }
        if (m_flags & parse_raw_items) {
            child.check_available(size);
            if (size > 0x7FFFFFFF) throw exception_truncation();
            raw_item item;
            item.type = type;
            item.payload.resize(size_t(size));
            if (size) child.read_exact(item.payload.data(), item.payload.size());
            memory_atom_stream mem(item.payload.data(), item.payload.size());
            if (!parse_ilst_item(mem, size, type, m_ud.ilst_fields)) m_ud.raw_items.push_back(std::move(item));
        } else if (m_flags & parse_metadata) {
            parse_ilst_item(child, size, type, m_ud.ilst_fields);
        }
    }

private:
    uint32_t m_flags;
    user_data& m_ud;
};

void put16(box_buffer& out, uint32_t v) {
    uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    out.append(b, 2);
}

void text_item(box_buffer& out, uint32_t type, const std::string& text) {
    box_buffer data;
    write_u32_be(data, 1);
    write_u32_be(data, 0);
    data.append(text.data(), text.size());
    box_buffer item;
    write_box(item, t_data, data.data(), data.size());
    write_box(out, type, item.data(), item.size());
}

void freeform_item(box_buffer& out, const std::string& name, const std::string& value) {
    box_buffer item, part;
    write_u32_be(part, 0);
    part.append("com.apple.iTunes", 16);
    write_box(item, fourcc("mean"), part.data(), part.size());
    box_buffer n;
    write_u32_be(n, 0);
    n.append(name.data(), name.size());
    write_box(item, t_name, n.data(), n.size());
    box_buffer d;
    write_u32_be(d, 1);
    write_u32_be(d, 0);
    d.append(value.data(), value.size());
    write_box(item, t_data, d.data(), d.size());
    write_box(out, fourcc("----"), item.data(), item.size());
}

// A typed item: "data" with the type code and the value bytes.
void typed_item(box_buffer& out, uint32_t type, uint32_t code, const box_buffer& value) {
    box_buffer data;
    write_u32_be(data, code);
    write_u32_be(data, 0);
    data.append(value.data(), value.size());
    box_buffer item;
    write_box(item, t_data, data.data(), data.size());
    write_box(out, type, item.data(), item.size());
}

// Empty, or digits of a value that fits the 16 bits of "trkn" and "disk" (a larger one would be written as
// another number: it stays a freeform item instead).
bool fits_number_item(const std::string& s) {
    uint32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint32_t(c - '0');
        if (v > 0xFFFF) return false;
    }
    return true;
}

// Decimal conversion of the leading digits, kept to 16 bits.
uint32_t leading_number(const std::string& s) {
    uint32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        v = (v * 10 + uint32_t(c - '0')) & 0xFFFFFFF;
    }
    return v & 0xFFFF;
}

}  // namespace

const char* genre_name(uint32_t index) { return index < genre_count ? g_genres[index] : nullptr; }

const char* ilst_field_of_type(uint32_t type) {
    for (const name_row& r : g_names) {
        if (type_of(r.type) == type) return r.field;
    }
    return nullptr;
}

uint32_t ilst_type_of_field(const std::string& name) {
    for (const name_row& r : g_names) {
        if (names_equal(name, r.field)) return type_of(r.type);
    }
    return 0;
}

bool parse_ilst_item(byte_stream& s, uint64_t size, uint32_t type, field_set& fields) {
    item_visitor v(type, fields);
    walk_children(s, size, v);
    return v.finish();
}

// "meta" in "udta": u32 version/flags, then boxes; a header that fails ends the walk.
void read_meta(byte_stream& s, uint64_t size, uint32_t flags, user_data& ud) {
    if (!(flags & 0x0A) || ud.meta_read) return;
    ud.meta_read = true;
    ud.has_ilst = true;
    try {
        if (size < 4) throw exception_truncation();
        s.skip_exact(4);
        uint64_t left = size - 4;
        while (left >= 8) {
            box_header h;
            if (!read_box_header(s, h, false) || h.header_size > left) break;
            if (h.payload_size > left - h.header_size) h.payload_size = left - h.header_size;
            s.check_available(h.payload_size);
            atom_stream child(s, h.payload_size);
            if (h.type == fourcc("ilst")) {
                ilst_visitor v(flags, ud);
                walk_children(child, h.payload_size, v);
            }
            child.finish();
            left -= h.header_size + h.payload_size;
        }
    } catch (const exception&) {
        ud.has_ilst = false;
        ud.ilst_fields.clear();
        ud.raw_items.clear();
        ud.cover.reset();
    }
}

void write_ilst_items(const user_data& ud, box_buffer& out) {
    field_set rest = ud.ilst_fields;
    std::map<std::string, std::string> taken;
    for (const char* name : {"track", "tracknumber", "totaltracks", "disc", "discnumber", "totaldiscs", "genre",
                             "tempo", "itunescompilation", "itunespodcast"}) {
        auto it = rest.find(name);
        if (it == rest.end() || it->second.values.size() != 1) continue;
        const std::string& v = it->second.values[0];
        const bool number = std::strcmp(name, "genre") != 0 && std::strcmp(name, "tempo") != 0 &&
                            std::strncmp(name, "itunes", 6) != 0;
        if (number && !fits_number_item(v)) continue;
        taken[name] = v;
        rest.erase(it);
    }
    std::string track = taken["track"], disc = taken["disc"];
    if (track.empty()) track = taken["tracknumber"];
    if (disc.empty()) disc = taken["discnumber"];
    if (!track.empty()) {
        box_buffer v;
        put16(v, 0);
        put16(v, leading_number(track));
        put16(v, leading_number(taken["totaltracks"]));
        put16(v, 0);
        typed_item(out, t_trkn, 0, v);
    }
    if (!disc.empty()) {
        box_buffer v;
        put16(v, 0);
        put16(v, leading_number(disc));
        put16(v, leading_number(taken["totaldiscs"]));
        typed_item(out, t_disk, 0, v);
    }
    if (!taken["tempo"].empty()) {
        box_buffer v;
        put16(v, leading_number(taken["tempo"]));
        typed_item(out, t_tmpo, 21, v);
    }
    for (const char* name : {"itunescompilation", "itunespodcast"}) {
        const std::string& text = taken[name];
        if (text.empty()) continue;
        box_buffer v;
        uint8_t b = uint8_t(std::atoi(text.c_str()));
        v.append(&b, 1);
        typed_item(out, name[6] == 'c' ? t_cpil : t_pcst, 21, v);
    }
    const std::string& genre = taken["genre"];
    if (!genre.empty()) {
        uint32_t found = 0;
        for (uint32_t i = 0; i < written_genres && !found; ++i) {
            if (names_equal(genre, g_genres[i])) found = i + 1;
        }
        if (found) {
            box_buffer v;
            put16(v, found);
            typed_item(out, t_gnre, 0, v);
        } else {
            text_item(out, t_cgen, genre);
        }
    }
    for (const auto& entry : rest) {
        for (const std::string& value : entry.second.values) {
            if (uint32_t type = ilst_type_of_field(entry.first)) {
                text_item(out, type, value);
            } else {
                const bool cdec = !entry.second.is_meta && names_equal(entry.first, "codec");
                freeform_item(out, cdec ? "cdec" : entry.first, value);
            }
        }
    }
    if (ud.cover) {
        const std::vector<uint8_t>& d = ud.cover->data;
        static const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        uint32_t code = 0;
        if (d.size() >= 8 && std::memcmp(d.data(), png, 8) == 0) code = 14;
        else if (d.size() >= 2 && d[0] == 0xFF && d[1] == 0xD8) code = 13;
        box_buffer v;
        if (!d.empty()) v.append(d.data(), d.size());
        typed_item(out, t_covr, code, v);
    }
    for (const raw_item& item : ud.raw_items) write_box(out, item.type, item.payload.data(), item.payload.size());
}

void write_meta_box(const user_data& ud, box_buffer& out) {
    write_u32_be(out, 0);
    static const uint8_t hdlr[25] = {0, 0, 0, 0, 0, 0, 0, 0, 'm', 'd', 'i', 'r', 'a', 'p', 'p', 'l', 0, 0, 0, 0, 0, 0, 0, 0, 0};
    write_box(out, fourcc("hdlr"), hdlr, sizeof hdlr);
    box_buffer ilst;
    write_ilst_items(ud, ilst);
    write_box(out, fourcc("ilst"), ilst.data(), ilst.size());
}

}  // namespace atomkit
