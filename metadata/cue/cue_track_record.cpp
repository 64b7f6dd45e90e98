#include "metadata/cue/cue_track_record.h"

void info_field_map::set(const char* name, const char* value) { m_tree.insert(name).node->value = value; }

const char* info_field_map::find(const char* name) const {
    tree::node_ptr n = m_tree.find(name);
    return n ? n->value.c_str() : nullptr;
}

void info_field_map::copy_fields(const info_field_map& source) {
    if (&source == this) return;
    source.m_tree.for_each([this](const node& n) { set(n.key.c_str(), n.value.c_str()); });
}

int value_list_compare(const kpl::string_list& a, const kpl::string_list& b) {
    const kpl::string_list_node* x = a.first_node();
    const kpl::string_list_node* y = b.first_node();
    for (; x && y; x = x->next, y = y->next) {
        int c = kpl::strcmp(x->text.c_str(), y->text.c_str());
        if (c) return c < 0 ? -1 : 1;
    }
    if (x) return 1;
    if (y) return -1;
    return 0;
}

namespace {

void assign_values(kpl::string_list& values, const track_info& source, uint32_t i) {
    values.clear();
    uint32_t n = source.meta_value_count(i);
    for (uint32_t j = 0; j < n; ++j) kpl::string_list_push_back(values, source.meta_value(i, j));
}

}  // namespace

void cue_track_record::load(const track_info& source) {
    meta.clear();
    info.clear();
    length = 0;
    replaygain.reset();
    length = source.get_length();
    replaygain = source.get_replaygain();
    copy_meta_from_info(meta, source);
    copy_info_from_info(info, source);
}

void cue_track_record::to_info(track_info& out) const {
    out.reset();
    out.set_length(length);
    out.set_replaygain(replaygain);
    info.fields().for_each([&out](const info_field_map::node& n) {
        out.info_add(n.key.c_str(), n.key.length(), n.value.c_str(), n.value.length());
    });
    meta.fields().for_each([&out](const field_value_map::node& n) {
        const kpl::string_list_node* v = n.value.first_node();
        if (!v) return;
        uint32_t field = out.meta_add(n.key.c_str(), n.key.length(), v->text.c_str(), v->text.length());
        for (v = v->next; v; v = v->next) out.meta_add_value(v->text.c_str(), field, v->text.length());
    });
}

void cue_track_record::set_field_values(const char* name, const track_info& source, uint32_t i) {
    assign_values(meta.at(name), source, i);
}

void cue_track_record::copy_meta_from_info(field_value_map& map, const track_info& source) {
    uint32_t count = source.meta_count();
    for (uint32_t i = 0; i < count; ++i) {
        if (source.meta_value_count(i) == 0) continue;
        assign_values(map.at(source.meta_name(i)), source, i);
    }
}

void cue_track_record::copy_info_from_info(info_field_map& map, const track_info& source) {
    uint32_t count = source.info_count();
    for (uint32_t i = 0; i < count; ++i) map.set(source.info_name(i), source.info_value(i));
}
