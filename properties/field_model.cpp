#include "properties/field_model.h"

#include <algorithm>
#include <cstring>

#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/win32/text_nocase.h"
#include "metadata/track_info.h"
#include "shell/localization.h"

const char* const properties_field_info::standard_names[standard_count] = {
    "artist",      "title",       "album",      "date",       "genre",     "composer", "performer",
    "album artist", "tracknumber", "totaltracks", "discnumber", "totaldiscs", "publisher", "comment"};

properties_field_info::properties_field_info() {
    kpl::utf8_string_pow2 text;
    advanced_settings::multiline_fields->get_text_value(text);
    fill_set(m_multi_line, text.c_str());
    advanced_settings::multivalue_fields->get_text_value(text);
    fill_set(m_multi_value, text.c_str());
    load_display_names();
}

properties_field_info::properties_field_info(const char* multi_line, const char* multi_value) {
    fill_set(m_multi_line, multi_line);
    fill_set(m_multi_value, multi_value);
    load_display_names();
}

void properties_field_info::load_display_names() {
    for (uint32_t i = 0; i < standard_count; ++i) {
        std::string id("properties_meta_");
        id += standard_names[i];
        m_standard_display[i] = localization_table::get_text(id.c_str());
        if (m_standard_display[i].empty()) m_standard_display[i] = standard_names[i];
    }
}

void properties_field_info::fill_set(std::vector<std::string>& set, const char* text) {
    set.clear();
    const char* start = text;
    for (const char* p = text;; ++p) {
        if (*p != ';' && *p != 0) continue;
        if (p > start) set.emplace_back(start, p - start);
        if (*p == 0) break;
        start = p + 1;
    }
}

bool properties_field_info::contains(const std::vector<std::string>& set, const char* name) {
    for (const std::string& entry : set)
        if (kpl::stricmp_ascii(entry.c_str(), name) == 0) return true;
    return false;
}

int properties_field_info::standard_index(const char* name) {
    for (uint32_t i = 0; i < standard_count; ++i)
        if (utf8_compare_nocase_fast(standard_names[i], name) == 0) return static_cast<int>(i);
    return -1;
}

std::string properties_field_info::display_name(const char* name) const {
    int standard = standard_index(name);
    if (standard >= 0) return m_standard_display[standard];
    kpl::utf8_string_pow2 upper("<");
    utf8_to_upper(upper, name);
    upper << ">";
    return upper.c_str();
}

const properties_value_list* properties_field_model::find_values(uint32_t track) const {
    auto found = m_values.find(track);
    return found == m_values.end() ? nullptr : &found->second;
}

void properties_field_model::set_values(uint32_t track, const properties_value_list& list) {
    if (track != all) {
        m_values[track] = list;
        return;
    }
    for (uint32_t i = 0; i < m_track_count; ++i) m_values[i] = list;
}

void properties_field_model::set_single_value(uint32_t track, const char* text) {
    set_values(track, properties_value_list{std::string(text)});
}

void properties_field_model::set_from_text(uint32_t track, const char* text, const properties_field_info& info) {
    properties_value_list list;
    if (info.is_multi_value(m_name.c_str())) {
        list = split_typed_values(text);
    } else if (*text) {
        list.emplace_back(text);
    }
    set_values(track, list);
}

void properties_field_model::copy_first_to_all() {
    auto first = m_values.find(0);
    if (first == m_values.end() || first->second.empty()) return;
    const properties_value_list copy = first->second;
    for (uint32_t i = 1; i < m_track_count; ++i) m_values[i] = copy;
}

void properties_field_model::read_from_info(uint32_t track, const track_info& info, uint32_t field) {
    const uint32_t count = info.meta_value_count(field);
    if (count == 0) {
        clear_track(track);
        return;
    }
    properties_value_list list;
    list.reserve(count);
    for (uint32_t j = 0; j < count; ++j) list.emplace_back(info.meta_value(field, j));
    m_values[track] = std::move(list);
}

void properties_field_model::write_to_info(uint32_t track, track_info& info) const {
    const properties_value_list* list = find_values(track);
    if (!list || list->empty()) return;
    const uint32_t index = info.meta_add(m_name.c_str(), track_info::npos, (*list)[0].data(),
                                         static_cast<uint32_t>((*list)[0].size()));
    for (size_t j = 1; j < list->size(); ++j)
        info.meta_add_value((*list)[j].data(), index, static_cast<uint32_t>((*list)[j].size()));
}

std::string properties_field_model::joined_text(uint32_t track) const {
    std::string out;
    const properties_value_list* list = find_values(track);
    if (!list) return out;
    for (size_t j = 0; j < list->size(); ++j) {
        if (j) out += "; ";
        out += (*list)[j];
    }
    return out;
}

bool properties_field_model::all_tracks_equal() const {
    if (m_track_count == 0) return false;
    static const properties_value_list empty;
    const properties_value_list* first = find_values(0);
    if (!first) first = &empty;
    for (uint32_t i = 1; i < m_track_count; ++i) {
        const properties_value_list* other = find_values(i);
        if (!other) other = &empty;
        if (*other != *first) return false;
    }
    return true;
}

bool properties_field_model::all_empty() const {
    for (const auto& entry : m_values)
        if (!entry.second.empty()) return false;
    return true;
}

std::string properties_field_model::display_text() const {
    if (all_tracks_equal()) return joined_text(0);
    return properties_multiple_values_text(*this);
}

properties_value_list split_typed_values(const char* text) {
    properties_value_list out;
    if (!*text) return out;
    const char* p = text;
    for (;;) {
        while (*p == ' ') ++p;
        const char* end = std::strchr(p, ';');
        if (!end) {
            out.emplace_back(p);
            break;
        }
        out.emplace_back(p, end - p);
        p = end + 1;
    }
    return out;
}

std::string properties_multiple_values_text(const properties_field_model& field) {
    std::string text("\xC2\xAB");
    text += localization_table::get_text("properties_multiple_values");
    text += "\xC2\xBB ";
    std::vector<const std::string*> taken;
    bool first = true;
    for (uint32_t i = 0; i < field.track_count(); ++i) {
        const properties_value_list* list = field.find_values(i);
        if (!list) continue;
        for (const std::string& value : *list) {
            if (value.empty()) continue;
            bool seen = false;
            for (const std::string* t : taken)
                if (*t == value) {
                    seen = true;
                    break;
                }
            if (seen) continue;
            if (taken.size() > 100 || kpl::utf8_char_count(text.data(), text.size()) > 200) {
                text += " ...";
                return text;
            }
            if (!first) text += "; ";
            first = false;
            text += value;
            taken.push_back(&value);
        }
    }
    return text;
}

int properties_find_by_name(const properties_field_list& list, const char* name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (utf8_compare_nocase_fast(list[i].name().c_str(), name) == 0) return static_cast<int>(i);
    return -1;
}

int properties_find_by_name_ascii(const properties_field_list& list, const char* name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (kpl::stricmp_ascii(list[i].name().c_str(), name) == 0) return static_cast<int>(i);
    return -1;
}

void properties_build_field_list(properties_field_list& out, uint32_t track_count,
                                 const std::function<const track_info*(uint32_t)>& info_of) {
    properties_field_list list;
    list.reserve(properties_field_info::standard_count);
    for (const char* name : properties_field_info::standard_names) list.emplace_back(name, track_count);
    // Name (ASCII-folded) -> record index, so that many tracks of many fields stay fast.
    std::map<std::string, size_t> index;
    auto fold = [](const char* name) {
        std::string key(name);
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        return key;
    };
    for (size_t i = 0; i < list.size(); ++i) index.emplace(fold(list[i].name().c_str()), i);
    for (uint32_t t = 0; t < track_count; ++t) {
        const track_info* info = info_of(t);
        if (!info) continue;
        const uint32_t count = info->meta_count();
        for (uint32_t f = 0; f < count; ++f) {
            const char* name = info->meta_name(f);
            auto found = index.emplace(fold(name), list.size());
            if (found.second) list.emplace_back(name, track_count);
            list[found.first->second].read_from_info(t, *info, f);
        }
    }
    std::stable_sort(list.begin() + properties_field_info::standard_count, list.end(),
                     [](const properties_field_model& a, const properties_field_model& b) {
                         return kpl::stricmp_ascii(a.name().c_str(), b.name().c_str()) < 0;
                     });
    out.swap(list);
}

namespace {

bool same_values(const properties_value_list* list, const track_info& info, uint32_t field) {
    const uint32_t count = info.meta_value_count(field);
    const size_t have = list ? list->size() : 0;
    if (have != count) return false;
    for (uint32_t j = 0; j < count; ++j)
        if ((*list)[j] != info.meta_value(field, j)) return false;
    return true;
}

}  // namespace

bool properties_track_changes(const properties_field_list& list, uint32_t track, const track_info& info) {
    // The info's fields by name (ASCII-folded, first of each name), ticked off as the list finds them.
    const uint32_t count = info.meta_count();
    std::vector<bool> matched(count, false);
    for (const properties_field_model& field : list) {
        const properties_value_list* values = field.find_values(track);
        int32_t found = info.meta_find(field.name().c_str());
        if (found < 0) {
            if (values && !values->empty()) return true;
            continue;
        }
        if (matched[found]) {
            // A second record of the same name: it stands for a field the info does not have twice.
            if (values && !values->empty()) return true;
            continue;
        }
        if (!same_values(values, info, static_cast<uint32_t>(found))) return true;
        matched[found] = true;
    }
    for (uint32_t f = 0; f < count; ++f)
        if (!matched[f]) return true;
    return false;
}

void properties_write_track(const properties_field_list& list, uint32_t track, track_info& info) {
    info.meta_remove_all();
    for (const properties_field_model& field : list) field.write_to_info(track, info);
}
