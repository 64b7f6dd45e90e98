#include "inputs/field_value_map.h"

#include <cstring>

field_value_map::node_ptr field_value_map::find(const char* name) const { return m_tree.find(name); }

field_value_map::insert_result field_value_map::find_or_insert(const char* name) {
    auto r = m_tree.insert(name);
    return {r.node, r.inserted};
}

kpl::string_list& field_value_map::at(const char* name) { return m_tree.insert(name).node->value; }

const kpl::string_list* field_value_map::find_values(const char* name) const {
    node_ptr n = m_tree.find(name);
    return n ? &n->value : nullptr;
}

bool field_value_map::remove(const char* name) { return m_tree.remove(name); }

void field_value_map::copy_fields(const field_value_map& source) {
    if (&source == this) return;
    source.m_tree.for_each([this](const node& n) { kpl::string_list_assign(at(n.key.c_str()), n.value); });
}

void field_value_map::add(const char* name, const char* value, uint32_t length) {
    if (!track_info::is_valid_field_name(name)) return;
    kpl::string_list_push_back(at(name), value, length);
}

void field_value_map::store_into_info(track_info& info) const {
    info.meta_remove_all();
    m_tree.for_each([&info](const node& n) {
        uint32_t field = track_info::npos;
        for (auto it = kpl::rc_list_first(n.value); it; kpl::rc_iterator_next(it)) {
            if (field == track_info::npos) {
                field = info.meta_add(n.key.c_str(), track_info::npos, it->text.c_str(), it->text.length());
            } else {
                info.meta_insert_value(field, track_info::npos, it->text.c_str(), it->text.length());
            }
        }
    });
}

namespace {

void remove_repeated_values(kpl::string_list& values) {
    kpl::string_list kept;
    for (auto it = kpl::rc_list_first(values); it; kpl::rc_iterator_next(it)) {
        bool seen = false;
        for (auto k = kpl::rc_list_first(kept); k && !seen; kpl::rc_iterator_next(k)) {
            seen = std::strcmp(k->text.c_str(), it->text.c_str()) == 0;
        }
        if (!seen) kpl::string_list_push_back(kept, it->text.c_str(), it->text.length());
    }
    values.swap(kept);
}

void keep_first_value(kpl::string_list& values) {
    if (values.count() <= 1) return;
    kpl::string_list kept;
    kpl::string_list_push_back(kept, values.first_node()->text.c_str(), values.first_node()->text.length());
    values.swap(kept);
}

}  // namespace

void field_value_map::clean_up() {
    if (node_ptr n = find("album artist")) remove_repeated_values(n->value);
    if (node_ptr n = find("publisher")) remove_repeated_values(n->value);
    if (node_ptr n = find("totaltracks")) keep_first_value(n->value);
    if (node_ptr n = find("totaldiscs")) keep_first_value(n->value);
}
