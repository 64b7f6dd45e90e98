#include "properties/metadata_rows.h"

#include <algorithm>

#include "foundation/win32/text_nocase.h"

namespace {

std::string cut_at_break(const std::string& text) {
    const size_t at = text.find_first_of("\r\n");
    if (at == std::string::npos) return text;
    return text.substr(0, at) + " (...)";
}

bool is_folder_separator(char c) { return c == '/' || c == ':' || c == '\\' || c == '|'; }

std::string folder_of(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i)
        if (is_folder_separator(path[i - 1])) return path.substr(0, i);
    return std::string();
}

}  // namespace

std::string properties_value_cell_text(const properties_field_model& field) { return cut_at_break(field.display_text()); }

bool properties_remove_rows(properties_field_list& fields, const std::vector<uint32_t>& rows) {
    std::vector<uint32_t> sorted(rows);
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    bool changed = false;
    for (size_t i = sorted.size(); i > 0; --i) {
        const uint32_t row = sorted[i - 1];
        if (row >= fields.size()) continue;
        changed = true;
        if (properties_field_info::standard_index(fields[row].name().c_str()) >= 0) {
            fields[row].entries().clear();
        } else {
            fields.erase(fields.begin() + row);
        }
    }
    return changed;
}

std::vector<uint32_t> properties_other_rows(uint32_t count, const std::vector<uint32_t>& selected) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < count; ++i)
        if (std::find(selected.begin(), selected.end(), i) == selected.end()) out.push_back(i);
    return out;
}

std::string properties_copy_text(const properties_field_list& fields, const std::vector<uint32_t>& rows,
                                 const properties_field_info& info) {
    std::string out;
    bool first = true;
    for (uint32_t row : rows) {
        if (row >= fields.size()) continue;
        if (!first) out += "\r\n";
        first = false;
        std::string value = fields[row].display_text();
        if (rows.size() > 1) value = cut_at_break(value);
        out += info.display_name(fields[row].name().c_str()) + " : " + value;
    }
    return out;
}

void properties_apply_record(properties_field_list& fields, uint32_t row, properties_field_model record,
                             uint32_t track_count) {
    const uint32_t source_tracks = record.track_count();
    record.set_name(fields[row].name().c_str());
    record.set_track_count(track_count);
    // Values of tracks the dialog does not have are dropped.
    for (auto it = record.entries().begin(); it != record.entries().end();)
        it = it->first >= track_count ? record.entries().erase(it) : std::next(it);
    if (source_tracks == 1 && track_count > 1) record.copy_first_to_all();
    fields[row] = std::move(record);
}

bool properties_paste_records(properties_field_list& fields, const std::vector<uint32_t>& rows,
                              const properties_field_list& records, uint32_t track_count) {
    bool changed = false;
    for (size_t i = 0; i < rows.size() && i < records.size(); ++i) {
        if (rows[i] >= fields.size()) continue;
        properties_apply_record(fields, rows[i], records[i], track_count);
        changed = true;
    }
    return changed;
}

bool properties_paste_text(properties_field_list& fields, const std::vector<uint32_t>& rows, const char* text,
                           const properties_field_info& info) {
    if (rows.empty()) return false;
    if (rows.size() == 1) {
        if (rows[0] >= fields.size()) return false;
        fields[rows[0]].set_from_text(properties_field_model::all, text, info);
        return true;
    }
    std::vector<std::string> lines;
    std::string line;
    bool pending = false;
    for (const char* p = text; *p; ++p) {
        pending = true;
        if (*p == '\r') continue;
        if (*p == '\n') {
            lines.push_back(line);
            line.clear();
            pending = false;
            continue;
        }
        line += *p;
    }
    if (pending) lines.push_back(line);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] >= fields.size()) continue;
        fields[rows[i]].set_from_text(properties_field_model::all, i < lines.size() ? lines[i].c_str() : "", info);
    }
    return true;
}

std::vector<uint32_t> properties_paste_fields_into(properties_field_list& fields, const properties_field_list& records,
                                                   uint32_t track_count) {
    std::vector<uint32_t> appended;
    for (const properties_field_model& record : records) {
        const int row = properties_find_by_name_ascii(fields, record.name().c_str());
        if (row >= 0) {
            properties_apply_record(fields, static_cast<uint32_t>(row), record, track_count);
            continue;
        }
        properties_field_model copy(record);
        copy.set_track_count(track_count);
        for (auto it = copy.entries().begin(); it != copy.entries().end();)
            it = it->first >= track_count ? copy.entries().erase(it) : std::next(it);
        fields.push_back(std::move(copy));
        appended.push_back(static_cast<uint32_t>(fields.size() - 1));
    }
    return appended;
}

uint32_t properties_add_or_replace(properties_field_list& fields, const properties_field_model& record, bool& appended) {
    const int row = properties_find_by_name(fields, record.name().c_str());
    if (row >= 0) {
        fields[row] = record;
        appended = false;
        return static_cast<uint32_t>(row);
    }
    fields.push_back(record);
    appended = true;
    return static_cast<uint32_t>(fields.size() - 1);
}

std::vector<properties_field_model> properties_auto_track_number(const std::vector<std::string>& paths) {
    const uint32_t count = static_cast<uint32_t>(paths.size());
    properties_field_model number("tracknumber", count), total("totaltracks", count);
    uint32_t start = 0;
    while (start < count) {
        const std::string folder = folder_of(paths[start]);
        uint32_t end = start + 1;
        while (end < count && utf8_compare_nocase_fast(folder_of(paths[end]).c_str(), folder.c_str()) == 0) ++end;
        const std::string k = std::to_string(end - start);
        for (uint32_t j = start; j < end; ++j) {
            number.set_single_value(j, std::to_string(j - start + 1).c_str());
            total.set_single_value(j, k.c_str());
        }
        start = end;
    }
    return {number, total};
}

std::vector<properties_menu_item> properties_metadata_menu(const properties_menu_state& state) {
    std::vector<properties_menu_item> items;
    const bool any = state.selected > 0;
    const bool sub = state.from_tools;
    auto add = [&](int id, const char* text, const char* shortcut, bool enabled, bool in_selection) {
        items.push_back(properties_menu_item{id, text, shortcut, enabled, in_selection, false});
    };
    if (any) {
        const bool edit = state.selected == 1 || state.tracks > 1;
        if (edit) add(3, "properties_menu_edit", nullptr, true, sub);
        if (state.selected == 1) add(4, "properties_menu_edit_inplace", "F2", true, sub);
        add(6, "properties_menu_remove", "Del", true, sub);
        add(7, "properties_menu_crop", nullptr, true, sub);
        add(0, nullptr, nullptr, true, sub);
        add(9, "properties_menu_cut", "Ctrl+X", true, sub);
        add(8, "properties_menu_copy", "Ctrl+C", true, sub);
        add(10, "properties_menu_paste", "Ctrl+V", state.text_on_clipboard || state.fields_on_clipboard, sub);
        add(0, nullptr, nullptr, true, sub);
        add(15, "properties_menu_capitalize", nullptr, true, sub);
        add(16, "properties_menu_clean_up", nullptr, true, sub);
        add(17, "properties_menu_split_values", nullptr, true, sub);
    } else if (sub) {
        add(-1, "properties_menu_no_selection", nullptr, false, true);
    }
    if (any || sub) add(0, nullptr, nullptr, true, false);
    add(5, "properties_menu_add_new_field", "Ctrl+N", true, false);
    add(11, "properties_menu_paste_fields", "Ctrl+Shift+V", state.fields_on_clipboard, false);
    if (state.tracks > 1) add(13, "properties_menu_auto_track_number", nullptr, true, false);
    add(14, "properties_menu_automatically_fill_values", nullptr, true, false);
    if (!sub) {
        for (properties_menu_item& item : items)
            if (item.id == 3) item.is_default = true;
        if (!any)
            for (properties_menu_item& item : items)
                if (item.id == 5) item.is_default = true;
    }
    return items;
}
