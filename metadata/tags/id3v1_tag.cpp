#include "metadata/tags/id3v1_tag.h"

#include <windows.h>

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/tags/id3v1_genres.h"
#include "metadata/tags/tag_exceptions.h"

namespace {

struct text_slot {
    const char* field;
    uint32_t offset;
    uint32_t size;
};

const text_slot slots[] = {{"title", 3, 30}, {"artist", 33, 30}, {"album", 63, 30}, {"date", 93, 4}};

void read_text(const uint8_t* tag, uint32_t offset, uint32_t size, const char* field, track_info& info) {
    const char* p = reinterpret_cast<const char*>(tag + offset);
    uint32_t n = 0;
    while (n < size && p[n] != 0) ++n;
    while (n > 0 && p[n - 1] == ' ') --n;
    if (n == 0) return;
    kpl::utf8_string_tight text = kpl::ansi_to_utf8(p, n);
    if (text.length() == 0) return;
    info.meta_set(field, track_info::npos, text.c_str(), text.length());
}

void write_text(uint8_t* tag, uint32_t offset, uint32_t size, const char* value) {
    if (!value) return;
    kpl::array<char> ansi;
    kpl::utf8_to_codepage(ansi, value, kpl::text_npos, CP_ACP);
    uint32_t n = 0;
    while (n < ansi.count() && ansi[n] != 0) ++n;
    if (n > size) n = size;
    std::memcpy(tag + offset, ansi.data(), n);
}

// The standard decimal conversion: leading white space, a sign, digits; saturated.
long decimal_value(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        if (value < 100000000) value = value * 10 + (*text - '0');
    }
    return negative ? -value : value;
}

bool plain_ascii(const char* text) {
    for (; *text; ++text) {
        if (static_cast<uint8_t>(*text) >= 0x80) return false;
    }
    return true;
}

// Reading cuts trailing blanks, so a text that ends in one does not come back unchanged.
bool keeps_text(const char* text, size_t length, size_t limit) {
    return length <= limit && plain_ascii(text) && (length == 0 || text[length - 1] != ' ');
}

bool is_name(const char* name, const char* wanted) { return kpl::stricmp_ascii(name, wanted) == 0; }

}  // namespace

void id3v1_parse(const uint8_t tag[id3v1_tag_size], track_info& info) {
    if (std::memcmp(tag, "TAG", 3) != 0) throw exception_tag_not_found();
    for (const text_slot& s : slots) read_text(tag, s.offset, s.size, s.field, info);
    read_text(tag, 97, 30, "comment", info);
    if (tag[125] == 0 && tag[126] != 0) {
        kpl::utf8_string_tight number;
        number.append_uint(tag[126]);
        info.meta_set("tracknumber", track_info::npos, number.c_str(), number.length());
    }
    if (const char* genre = id3v1_genre_name(tag[127])) {
        info.meta_set("genre", track_info::npos, genre, track_info::npos);
    }
    info.info_set("tagtype", track_info::npos, "id3v1", track_info::npos);
}

void id3v1_build(const track_info& info, uint8_t tag[id3v1_tag_size]) {
    std::memset(tag, 0, id3v1_tag_size);
    std::memcpy(tag, "TAG", 3);
    for (const text_slot& s : slots) write_text(tag, s.offset, s.size, info.meta_get_first(s.field));
    bool has_track = info.meta_find("tracknumber") >= 0;
    write_text(tag, 97, has_track ? 28 : 30, info.meta_get_first("comment"));
    if (const char* track = info.meta_get_first("tracknumber")) {
        long n = decimal_value(track);
        if (n >= 1 && n <= 127) tag[126] = static_cast<uint8_t>(n);
    }
    tag[127] = 255;
    if (const char* genre = info.meta_get_first("genre")) {
        int32_t number = id3v1_genre_find(genre);
        if (number >= 0) tag[127] = static_cast<uint8_t>(number);
    }
}

bool id3v1_fits(const track_info& info) {
    if (info.get_replaygain().count_valid() != 0) return false;
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        if (info.meta_value_count(i) != 1) return false;
        const char* name = info.meta_name(i);
        const char* value = info.meta_value(i, 0);
        size_t length = std::strlen(value);
        if (is_name(name, "title") || is_name(name, "artist") || is_name(name, "album")) {
            if (length == 0 || !keeps_text(value, length, 30)) return false;
        } else if (is_name(name, "date")) {
            if (length == 0 || !keeps_text(value, length, 4)) return false;
        } else if (is_name(name, "comment")) {
            // The comment goes through the system code page too: only plain ASCII comes back unchanged.
            if (!keeps_text(value, length, 28)) return false;
        } else if (is_name(name, "tracknumber")) {
            // Byte 126 holds 1 to 127; the text must be exactly what reading gives back.
            long n = decimal_value(value);
            if (n < 1 || n > 127) return false;
            kpl::utf8_string_tight canonical;
            canonical.append_uint(static_cast<uint64_t>(n));
            if (std::strcmp(canonical.c_str(), value) != 0) return false;
        } else if (is_name(name, "genre")) {
            if (id3v1_genre_find(value) < 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

void id3v1_reduce(track_info& info) {
    uint8_t tag[id3v1_tag_size];
    id3v1_build(info, tag);
    info.meta_remove_all();
    info.replaygain_reset();
    id3v1_parse(tag, info);
}
