#include "metadata/cue/embedded_cue.h"

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/number_format.h"
#include "foundation/kpl/text_compare.h"

namespace {

using entry_ptr = kpl::rc_ptr<embedded_cue_entry>;

// Calls fn(entry&) for every cue-track entry (not entry 0) in ascending order.
template <class Fn>
void for_each_track(const embedded_cue& table, Fn&& fn) {
    table.entries().for_each([&fn](const embedded_cue::tree::node& n) {
        if (n.key != 0) fn(*n.value);
    });
}

entry_ptr require_entry(const embedded_cue& table, uint32_t subsong) {
    entry_ptr e = embedded_cue_find(table, subsong);
    if (!e) throw ketrel_io::exception_io_data();
    return e;
}

bool starts_with_nocase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        char a = *text, b = *prefix;
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "cue_trackNN_name": the track number and the name after '_'; false for other names.
bool split_override_name(const char* name, uint32_t& track, const char*& field) {
    if (!starts_with_nocase(name, "cue_track")) return false;
    const char* p = name + 9;
    if (!is_digit(p[0]) || !is_digit(p[1]) || p[2] != '_') return false;
    track = static_cast<uint32_t>((p[0] - '0') * 10 + (p[1] - '0'));
    field = p + 3;
    return true;
}

void set_cue_embedded(cue_track_record& record, const char* value) { record.info.set("cue_embedded", value); }

}  // namespace

entry_ptr embedded_cue_find(const embedded_cue& table, uint32_t subsong) {
    embedded_cue::tree::node_ptr n = table.entries().find(subsong);
    return n ? n->value : entry_ptr();
}

embedded_cue_insert_result embedded_cue_insert(embedded_cue& table, uint32_t subsong) {
    // The entry is made before the tree changes, so a failed allocation leaves the table as it was.
    entry_ptr fresh(new embedded_cue_entry);
    fresh->subsong = subsong;
    auto r = table.entries().insert(subsong);
    if (!r.inserted) return {r.node->value, false};
    r.node->value = fresh;
    return {fresh, true};
}

uint32_t embedded_cue_count(const embedded_cue& table) { return static_cast<uint32_t>(table.entries().count()); }

uint32_t embedded_cue_subsong_id(const embedded_cue& table, uint32_t i) {
    if (embedded_cue_count(table) < 2) return 0;
    uint32_t position = 0, found = 0;
    for_each_track(table, [&](const embedded_cue_entry& e) {
        if (position++ == i) found = e.subsong;
    });
    return found;
}

void embedded_cue_get_range(const embedded_cue& table, uint32_t subsong, double& start, double& length) {
    entry_ptr e = require_entry(table, subsong);
    start = e->index_times[1];
    length = e->record.length;
}

void embedded_cue_get_track_info(const embedded_cue& table, uint32_t subsong, track_info& out) {
    require_entry(table, subsong)->record.to_info(out);
}

void embedded_cue_set_track_info(embedded_cue& table, uint32_t subsong, const track_info& info) {
    entry_ptr e = require_entry(table, subsong);
    e->record.meta.clear();
    cue_track_record::copy_meta_from_info(e->record.meta, info);
    e->record.replaygain = info.get_replaygain();
}

void embedded_cue_to_track_list(const embedded_cue& table, cue_parser::cue_track_list& out) {
    for_each_track(table, [&out](const embedded_cue_entry& e) {
        kpl::rc_ptr<cue_parser::cue_track> t = out.append();
        t->number = e.subsong;
        t->file_name = e.file_name;
        t->flags = e.flags;
        for (uint32_t n = 0; n < cue_parser::cue_index_count; ++n) t->index_times[n] = e.index_times[n];
        e.record.to_info(t->info);
    });
}

void embedded_cue_apply_file_field(embedded_cue& table, const track_info& info, uint32_t i) {
    const char* name = info.meta_name(i);
    for_each_track(table, [&](embedded_cue_entry& e) { e.record.set_field_values(name, info, i); });
}

void embedded_cue_common_fields(const embedded_cue& table, field_value_map& out) {
    // The names of all tracks, each once whatever its letter case.
    kpl::avl_tree<kpl::utf8_string_tight, kpl::avl_no_value, kpl::stricmp_ascii_compare> names;
    for_each_track(table, [&names](const embedded_cue_entry& e) {
        e.record.meta.fields().for_each([&names](const field_value_map::node& n) { names.insert(n.key.c_str()); });
    });
    names.for_each([&](const decltype(names)::node& name) {
        const char* field = name.key.c_str();
        if (kpl::stricmp_ascii(field, "cuesheet") == 0 || !is_plain_file_field(field)) return;
        const kpl::string_list* reference = nullptr;
        bool common = true;
        for_each_track(table, [&](const embedded_cue_entry& e) {
            if (!common) return;
            const kpl::string_list* values = e.record.meta.find_values(field);
            if (!values) {
                common = false;
            } else if (!reference) {
                reference = values;
            } else if (value_list_compare(*values, *reference) != 0) {
                common = false;
            }
        });
        if (common && reference) kpl::string_list_assign(out.at(field), *reference);
    });
}

void embedded_cue_track_overrides(const embedded_cue& table, const field_value_map& common, field_value_map& out) {
    kpl::utf8_string_pow2 name;
    for_each_track(table, [&](const embedded_cue_entry& e) {
        e.record.meta.fields().for_each([&](const field_value_map::node& n) {
            if (common.find_values(n.key.c_str())) return;
            cue_track_field_name(name, n.key.c_str(), e.subsong);
            kpl::string_list_assign(out.at(name.c_str()), n.value);
        });
    });
}

void embedded_cue_load(embedded_cue& table, const track_info& file_info) {
    table.clear();
    entry_ptr whole = embedded_cue_insert(table, 0).entry;
    whole->record.load(file_info);
    set_cue_embedded(whole->record, "no");

    const char* sheet = file_info.meta_get_first("cuesheet");
    if (!sheet) return;

    cue_parser::cue_track_list tracks;
    cue_parser::cue_parse(sheet, tracks);
    for (const cue_parser::cue_track* t = tracks.first_node(); t; t = t->next) {
        entry_ptr e = embedded_cue_insert(table, t->number).entry;
        e->file_name = t->file_name;
        e->flags = t->flags;
        for (uint32_t n = 0; n < cue_parser::cue_index_count; ++n) e->index_times[n] = t->index_times[n];
        e->record.load(t->info);
        cue_track_record::copy_info_from_info(e->record.info, file_info);
        set_cue_embedded(e->record, "yes");
        double start = t->index_times[1];
        double end = t->next ? t->next->index_times[1] : file_info.get_length();
        if (!(end > start)) throw ketrel_io::exception_io_data();
        e->record.length = end - start;
    }

    uint32_t count = file_info.meta_count();
    for (uint32_t i = 0; i < count; ++i) {
        const char* name = file_info.meta_name(i);
        if (file_info.meta_value_count(i) == 0 || kpl::stricmp_ascii(name, "cuesheet") == 0 || !is_plain_file_field(name)) {
            continue;
        }
        embedded_cue_apply_file_field(table, file_info, i);
    }

    for (uint32_t i = 0; i < count; ++i) {
        uint32_t k;
        const char* field;
        if (file_info.meta_value_count(i) == 0 || !split_override_name(file_info.meta_name(i), k, field)) continue;
        if (k < 1 || !*field) continue;
        if (entry_ptr e = embedded_cue_find(table, k)) e->record.set_field_values(field, file_info, i);
    }
}

void embedded_cue_write_info(const embedded_cue& table, track_info& out) {
    entry_ptr whole = embedded_cue_find(table, 0);
    if (embedded_cue_count(table) < 2) {
        if (whole) whole->record.to_info(out);
        else out.reset();
        int32_t i = out.meta_find("cuesheet");
        if (i >= 0) out.meta_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(i)));
        return;
    }

    cue_parser::cue_track_list tracks;
    embedded_cue_to_track_list(table, tracks);
    kpl::utf8_string_pow2 sheet;
    cue_parser::cue_write(sheet, tracks);
    cue_parser::cue_track_list reread;
    cue_parser::cue_parse(sheet.c_str(), reread);

    cue_track_record written;
    field_value_map common;
    embedded_cue_common_fields(table, common);
    written.meta.copy_fields(common);
    embedded_cue_track_overrides(table, common, written.meta);

    // Overrides that only repeat what the sheet says are left out.
    kpl::utf8_string_pow2 name;
    for (const cue_parser::cue_track* t = reread.first_node(); t; t = t->next) {
        for (const char* field : {"tracknumber", "title"}) {
            int32_t i = t->info.meta_find(field);
            if (i < 0) continue;
            cue_track_field_name(name, field, t->number);
            const kpl::string_list* values = written.meta.find_values(name.c_str());
            if (!values) continue;
            kpl::string_list sheet_values;
            for (uint32_t j = 0; j < t->info.meta_value_count(static_cast<uint32_t>(i)); ++j) {
                kpl::string_list_push_back(sheet_values, t->info.meta_value(static_cast<uint32_t>(i), j));
            }
            if (value_list_compare(*values, sheet_values) == 0) written.meta.remove(name.c_str());
        }
    }

    if (whole) {
        written.length = whole->record.length;
        written.replaygain = whole->record.replaygain;
        written.info.copy_fields(whole->record.info);
    }
    kpl::string_list& cuesheet = written.meta.at("cuesheet");
    cuesheet.clear();
    kpl::string_list_push_back(cuesheet, sheet.c_str(), sheet.length());
    written.to_info(out);
}

void cue_track_field_name(kpl::utf8_string& out, const char* name, uint32_t k) {
    out.reset();
    out << "cue_track" << kpl::format_uint64(k % 100, 2).c_str() << "_" << name;
}

bool is_plain_file_field(const char* name) { return !starts_with_nocase(name, "cue_track"); }
