#pragma once
// What the Metadata tab's commands do to the field list, without the window: row texts, Remove and Crop,
// the clipboard's text and records, Paste and Paste fields, Auto track number, add-or-replace, and which
// menu items a selection shows.
//
//     std::vector<uint32_t> selected = {0, 14};                 // rows in list order
//     properties_remove_rows(fields, selected);                 // "artist" emptied, row 14 (custom) deleted
//     properties_copy_text(fields, {2, 13}, info);              // "Album : X\r\nComment : line 1 (...)"
//     properties_paste_records(fields, selected, pasted, 4);    // one record per selected row
//     properties_auto_track_number(paths, info);                // "tracknumber" and "totaltracks" records
//
// Every function changes only the list it is given and answers whether it changed something.

#include <cstdint>
#include <string>
#include <vector>

#include "properties/field_model.h"

// The Value column: the display text cut at its first CR or LF with " (...)" when it had a line break.
std::string properties_value_cell_text(const properties_field_model& field);

// Remove over `rows` (Crop passes the unselected rows): standard fields lose every value and keep their
// row; other rows are deleted. Answers whether anything was affected.
bool properties_remove_rows(properties_field_list& fields, const std::vector<uint32_t>& rows);
// The rows not in `selected`.
std::vector<uint32_t> properties_other_rows(uint32_t count, const std::vector<uint32_t>& selected);

// Copy's text: "display name : display text" per row, each display text cut at its first line break with
// " (...)" when more than one row is given; joined by CR LF, no trailing break.
std::string properties_copy_text(const properties_field_list& fields, const std::vector<uint32_t>& rows,
                                 const properties_field_info& info);

// Record R onto row i: R takes the row's name and the dialog's track count; a record of exactly one track
// is spread to every track when the dialog has more than one; then it replaces the row's record.
void properties_apply_record(properties_field_list& fields, uint32_t row, properties_field_model record,
                             uint32_t track_count);
// Paste of private records: one per selected row, in order, until either runs out.
bool properties_paste_records(properties_field_list& fields, const std::vector<uint32_t>& rows,
                              const properties_field_list& records, uint32_t track_count);
// Paste of text: one row takes the whole text; several take one line each (CR dropped), rows after the
// last line an empty text (their values go).
bool properties_paste_text(properties_field_list& fields, const std::vector<uint32_t>& rows, const char* text,
                           const properties_field_info& info);
// Paste fields: a record whose name matches a row (ASCII case-insensitive) is applied to it as by Paste;
// otherwise it takes the track count (without spreading) and is appended. Answers the appended rows.
std::vector<uint32_t> properties_paste_fields_into(properties_field_list& fields, const properties_field_list& records,
                                                   uint32_t track_count);

// The row whose name matches (Unicode-aware, case-insensitive) gets the record, else it is appended;
// answers its row and whether it was appended.
uint32_t properties_add_or_replace(properties_field_list& fields, const properties_field_model& record, bool& appended);

// Auto track number: runs of consecutive tracks in the same folder (the path up to its last '/', ':', '\'
// or '|', compared case-insensitively) number 1..k with total k.
std::vector<properties_field_model> properties_auto_track_number(const std::vector<std::string>& paths);

// Menu items of the Metadata tab. `id` 0 is a separator; `submenu` marks the items inside "Selection".
struct properties_menu_item {
    int id;
    const char* text_id;
    const char* shortcut;
    bool enabled;
    bool in_selection;
    bool is_default;
};
struct properties_menu_state {
    uint32_t selected = 0;
    uint32_t tracks = 1;
    bool text_on_clipboard = false;
    bool fields_on_clipboard = false;
    bool from_tools = false;  // the Tools button: selection items go into "Selection"
};
std::vector<properties_menu_item> properties_metadata_menu(const properties_menu_state& state);
