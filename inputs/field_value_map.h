#pragma once
// field_value_map: field names with their lists of values, as tag readers collect them before they
// replace the meta fields of a track_info. Names compare with ASCII letter case folded
// (kpl::stricmp_ascii) and keep the spelling that first created them; values keep their order.
//
//     field_value_map m;
//     m.add("ALBUM ARTIST", "A");
//     m.add("album artist", "B");        // same field: {A, B}, named "ALBUM ARTIST"
//     m.add("bad=name", "x");            // ignored: not a valid field name
//     m.store_into_info(info);           // info's meta fields := the map's, in name order
//
// Used by the tag readers of several formats; clean_up applies the value clean-ups of Vorbis-comment
// style tags.

#include <cstdint>

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/rc_list.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/track_info.h"

class field_value_map {
public:
    using tree = kpl::avl_tree<kpl::utf8_string_tight, kpl::string_list, kpl::stricmp_ascii_compare>;
    using node = tree::node;
    using node_ptr = tree::node_ptr;

    struct insert_result {
        node_ptr node;
        bool inserted;
    };

    // The node of the name, or an empty reference.
    node_ptr find(const char* name) const;
    // The node of the name, made (without values) when missing.
    insert_result find_or_insert(const char* name);
    // The value list of the name, made empty when missing.
    kpl::string_list& at(const char* name);
    // The value list of the name, or null.
    const kpl::string_list* find_values(const char* name) const;
    // Removes the field; false when there was none.
    bool remove(const char* name);
    // For every field of the source in name order, this map's field of that name (made when missing)
    // gets copies of the source's values in place of its own.
    void copy_fields(const field_value_map& source);
    void clear() { m_tree.clear(); }
    // Appends the value (up to length bytes or its first zero byte) to the name's list; nothing when the
    // name is not a valid field name (track_info::is_valid_field_name).
    void add(const char* name, const char* value, uint32_t length = kpl::utf8_string::npos);
    // Removes every meta field of the info, then adds the map's fields in name order (case-insensitive
    // ASCII order), each with all its values.
    void store_into_info(track_info& info) const;
    // "album artist" and "publisher" lose values equal (byte for byte) to an earlier one of the same
    // field; "totaltracks" and "totaldiscs" keep only their first value.
    void clean_up();

    bool empty() const { return m_tree.empty(); }
    size_t count() const { return m_tree.count(); }
    const tree& fields() const { return m_tree; }

private:
    tree m_tree;
};
