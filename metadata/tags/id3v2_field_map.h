#pragma once
// id3v2_field_map: the field names and values that ID3v2 frames stand for, between the frames of a tag
// and a track_info. An ordered map from field name to an ordered list of values; names compare with
// ASCII letter case folded (kpl::stricmp_ascii) and keep the spelling that created the entry; entries
// are visited in ascending name order.
//
//     id3v2_field_map m;
//     m.add("Artist", "A");
//     m.add("ARTIST", "B");          // same entry: "Artist" = {A, B}
//     m.add("title", "");            // entry "title" with no value (empty values are not stored)
//     m.set("artist", "C");          // "Artist" = {C}
//     m.find("artist")->values[0]    "C"
//
// An entry may have no values: the readers make one for a frame whose text is empty, so that such a
// frame counts as saying something on rewrite. Entries without values are never written to an info.

#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"

class id3v2_field_map {
public:
    struct entry {
        kpl::utf8_string_tight name;
        kpl::array<kpl::utf8_string_tight> values;
    };

    // The entry with the name, or null.
    entry* find(const char* name);
    const entry* find(const char* name) const;
    // The entry with the name, made (without values) when missing.
    entry& at(const char* name);
    // Appends a non-empty value to the name's list; makes the entry in any case.
    void add(const char* name, const char* value, uint32_t length = 0xFFFFFFFF);
    // Clears the name's list, then adds the value.
    void set(const char* name, const char* value);
    // Removes the entry; false when there was none.
    bool remove(const char* name);
    // Whether the name has at least one value.
    bool has_value(const char* name) const;
    // The name's first value, or null.
    const char* first_value(const char* name) const;

    uint32_t count() const { return m_entries.count(); }
    const entry& operator[](uint32_t i) const { return m_entries[i]; }
    void clear() { m_entries.clear(); }

private:
    // Index of the entry with the name, or of where it would go; *found tells which.
    uint32_t locate(const char* name, bool* found) const;

    kpl::array<entry> m_entries;
};
