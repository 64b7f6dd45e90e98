#pragma once
// cue_track_record: the fields of one subsong of a file with an embedded cue sheet, kept in name order so
// that they can be compared and combined across tracks.
//
//     cue_track_record r;
//     r.load(info);              // info: title=T, Artist=A, album=X; "codec"=FLAC; length 180
//     track_info_store back;
//     r.to_info(back);           // album=X, Artist=A, title=T (sorted by name, any letter case); same
//                                // technical fields, length and ReplayGain values
//     r.set_field_values("TITLE", other, 3);   // title := the values of other's meta field 3
//
// Names compare without regard to ASCII letter case and keep the spelling they were first stored with.
// A record belongs to one thread at a time.

#include <cstdint>

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/rc_list.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "inputs/field_value_map.h"
#include "metadata/replaygain.h"
#include "metadata/track_info.h"

// Technical info fields: a name with one value, in ascending name order.
class info_field_map {
public:
    using tree = kpl::avl_tree<kpl::utf8_string_tight, kpl::utf8_string_tight, kpl::stricmp_ascii_compare>;
    using node = tree::node;

    // Inserts the pair, or replaces the value of the field of that name.
    void set(const char* name, const char* value);
    // The value, or null.
    const char* find(const char* name) const;
    bool remove(const char* name) { return m_tree.remove(name); }
    // Every pair of the source is set here (inserted, or replacing the value of the same name).
    void copy_fields(const info_field_map& source);
    void clear() { m_tree.clear(); }
    size_t count() const { return m_tree.count(); }
    const tree& fields() const { return m_tree; }

private:
    tree m_tree;
};

// Whether two value lists hold the same texts in the same order: -1 or 1 at the first difference (byte
// order, letter case matters), a list that ends first is the smaller, 0 when equal.
int value_list_compare(const kpl::string_list& a, const kpl::string_list& b);

class cue_track_record {
public:
    field_value_map meta;
    info_field_map info;
    replaygain_values replaygain;
    double length = 0;

    // The record becomes a copy of the info: length, ReplayGain values, meta fields with values, and
    // technical fields.
    void load(const track_info& source);
    // The info becomes a copy of the record: technical fields then meta fields, each in ascending name
    // order; a meta field without values is left out.
    void to_info(track_info& out) const;
    // The field `name` gets exactly the values of the info's meta field i (inserted when missing).
    void set_field_values(const char* name, const track_info& source, uint32_t i);

    // Every meta field of the info that has values replaces the values of the map's field of that name
    // (two names that differ only in case: the later values win, the map keeps its spelling). Fields the
    // info lacks stay in the map.
    static void copy_meta_from_info(field_value_map& map, const track_info& source);
    // Every technical field of the info is inserted or replaces the value of the same name.
    static void copy_info_from_info(info_field_map& map, const track_info& source);
};
