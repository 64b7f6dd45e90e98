#pragma once
// Field sets and pictures: the tags of a file or a chapter as atomkit keeps them.
//
// A field set maps names (compared with A-Z folded, kpl::stricmp_ascii) to entries {is_meta, values}; a
// technical entry (is_meta false) holds information such as "tool", "codec" or "ITUNSMPB". Sets are values:
// a copy is independent of the set it came from.
//
//     atomkit::field_set f;
//     atomkit::store_field(f, "ARTIST", "A");     // metadata {A}
//     atomkit::store_field(f, "artist", "B");     // metadata {A, B}: same name
//     atomkit::store_field(f, "iTunSMPB", "x");   // technical {x}; a second value replaces it
//     f.find("itunsmpb") != f.end();              // true
//
// Pictures keep what a retag must write back: {"front cover", 0, JPEG bytes}.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace atomkit {

struct field_entry {
    bool is_meta = true;
    std::vector<std::string> values;
    bool operator==(const field_entry& o) const { return is_meta == o.is_meta && values == o.values; }
    bool operator!=(const field_entry& o) const { return !(*this == o); }
};

struct field_name_less {
    bool operator()(const std::string& a, const std::string& b) const;
};

using field_set = std::map<std::string, field_entry, field_name_less>;

struct picture_entry {
    std::string name;
    uint16_t index = 0;
    std::vector<uint8_t> data;
};
using picture_ptr = std::shared_ptr<const picture_entry>;

// "tool", "codec", "ITUNSMPB", "ITUNNORM", "CDEC" and every name beginning "replaygain_", in any case.
bool is_technical_name(const std::string& name);
// The store rule of the readers: a technical name replaces its entry by {technical, [value]}; another name
// appends to a metadata entry, is dropped by a technical one, or makes a new metadata entry.
void store_field(field_set& fields, const std::string& name, const std::string& value);
// ASCII case-insensitive equality.
bool names_equal(const std::string& a, const char* b);
// The first `limit` bytes of text or fewer, ending on a UTF-8 character boundary: cut_utf8("a\xC3\xA9", 2) == "a".
std::string cut_utf8(const std::string& text, size_t limit);

}  // namespace atomkit
