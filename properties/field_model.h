#pragma once
// The properties dialog's field model: one record per metadata field holding that field's values for
// every track of the dialog, the ordered list of records (one per row of the Metadata tab), and the field
// information that says which fields are standard, multi-line or multi-value and how they are shown.
//
//     properties_field_info info("COMMENT", "ARTIST;GENRE");       // or the advanced settings' sets
//     properties_field_model genre("genre", 3);
//     genre.set_from_text(properties_field_model::all, "Rock; Pop", info);   // {"Rock", "Pop"} x 3
//     genre.set_single_value(2, "Jazz");
//     genre.display_text();             // "«multiple values» Rock; Pop; Jazz"
//     genre.joined_text(0);             // "Rock; Pop"
//     info.display_name("Album Artist");   // the "properties_meta_album artist" text
//     info.display_name("mood");           // "<MOOD>"
//
// Values are UTF-8 texts kept exactly as typed or read (no trimming, empty texts allowed). A track with
// no entry, or an empty list, has no value for the field. Everything here belongs to the main thread,
// except that copies of records are handed to the tag operations' worker (properties_info_editor).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class track_info;

using properties_value_list = std::vector<std::string>;

class properties_field_info {
public:
    static constexpr uint32_t standard_count = 14;
    // "artist", "title", "album", "date", "genre", "composer", "performer", "album artist", "tracknumber",
    // "totaltracks", "discnumber", "totaldiscs", "publisher", "comment".
    static const char* const standard_names[standard_count];

    // The sets from the advanced settings "Multiline fields" and "Multivalue fields".
    properties_field_info();
    // The sets from given texts (names separated by ';', empty pieces skipped, pieces not trimmed).
    properties_field_info(const char* multi_line, const char* multi_value);

    // The index of a standard field (Unicode-aware, case-insensitive), or -1.
    static int standard_index(const char* name);
    // The localized name of a standard field, else "<" + the name in upper case + ">".
    std::string display_name(const char* name) const;
    // The display names of the standard fields, looked up once.
    const std::string& standard_display_name(uint32_t index) const { return m_standard_display[index]; }
    // Membership of the sets (ASCII case-insensitive).
    bool is_multi_line(const char* name) const { return contains(m_multi_line, name); }
    bool is_multi_value(const char* name) const { return contains(m_multi_value, name); }

private:
    static void fill_set(std::vector<std::string>& set, const char* text);
    static bool contains(const std::vector<std::string>& set, const char* name);
    void load_display_names();

    std::vector<std::string> m_multi_line;
    std::vector<std::string> m_multi_value;
    std::string m_standard_display[standard_count];
};

class properties_field_model {
public:
    // The track argument meaning every track 0 .. count - 1.
    static constexpr uint32_t all = 0xFFFFFFFF;

    properties_field_model() = default;
    properties_field_model(const char* name, uint32_t track_count) : m_name(name), m_track_count(track_count) {}

    const std::string& name() const { return m_name; }
    void set_name(const char* name) { m_name = name; }
    uint32_t track_count() const { return m_track_count; }
    void set_track_count(uint32_t count) { m_track_count = count; }

    // The track's list, created empty when missing.
    properties_value_list& values_of(uint32_t track) { return m_values[track]; }
    // The track's list, or null without an entry.
    const properties_value_list* find_values(uint32_t track) const;
    bool has_values(uint32_t track) const {
        const properties_value_list* list = find_values(track);
        return list && !list->empty();
    }

    void set_values(uint32_t track, const properties_value_list& list);
    void set_single_value(uint32_t track, const char* text);
    // Multi-value field: split_typed_values; otherwise a non-empty text is the one value, an empty text none.
    void set_from_text(uint32_t track, const char* text, const properties_field_info& info);
    void clear_track(uint32_t track) { m_values.erase(track); }
    // Tracks 1 .. count - 1 take a copy of track 0's list (nothing when track 0 has none).
    void copy_first_to_all();
    // The track's list becomes the values of meta field `field` of the info (none: the track is cleared).
    void read_from_info(uint32_t track, const track_info& info, uint32_t field);
    // Adds a meta field of the record's name with the track's values (nothing without values).
    void write_to_info(uint32_t track, track_info& info) const;

    // The values joined by "; ".
    std::string joined_text(uint32_t track) const;
    bool all_tracks_equal() const;
    bool all_empty() const;
    // The Value column's text: the joined text when all tracks are equal, else the multiple-values marker
    // and the distinct values (see properties_display_text).
    std::string display_text() const;

    // Every track's values, for code that walks them (transforms, the editor).
    std::map<uint32_t, properties_value_list>& entries() { return m_values; }
    const std::map<uint32_t, properties_value_list>& entries() const { return m_values; }

private:
    std::string m_name;
    uint32_t m_track_count = 0;
    std::map<uint32_t, properties_value_list> m_values;
};

using properties_field_list = std::vector<properties_field_model>;

// Typed text of a multi-value field: (number of ';') + 1 values, each piece without its leading spaces
// (0x20 only); trailing spaces stay, empty pieces stay empty values; "" gives no value.
//     "Rock; Pop" -> {"Rock", "Pop"};   "a ;;b" -> {"a ", "", "b"}
properties_value_list split_typed_values(const char* text);

// "«" + the localized "properties_multiple_values" + "» " followed by the distinct non-empty values in order
// of first appearance, joined by "; "; before each new value, when more than 100 values were taken or the
// text is longer than 200 characters, " ..." ends it.
std::string properties_multiple_values_text(const properties_field_model& field);

// The first record whose name matches (Unicode-aware, case-insensitive), or -1.
int properties_find_by_name(const properties_field_list& list, const char* name);
// The first record whose name matches ASCII case-insensitively, or -1.
int properties_find_by_name_ascii(const properties_field_list& list, const char* name);

// The field list of `track_count` tracks from their infos (`info_of(i)` null: the track has no info): the 14
// standard records first in their fixed order, then every other field ordered by name (ASCII
// case-insensitive), names as first seen; a field spelled differently only in ASCII case is one record.
void properties_build_field_list(properties_field_list& out, uint32_t track_count,
                                 const std::function<const track_info*(uint32_t)>& info_of);

// The editor's change test for one track: whether writing the list over `info` would change its meta
// fields (a differing value list, a field the list has and the info lacks, a field only the info has).
bool properties_track_changes(const properties_field_list& list, uint32_t track, const track_info& info);
// Replaces every meta field of the info by the list's values of the track, in row order.
void properties_write_track(const properties_field_list& list, uint32_t track, track_info& info);
