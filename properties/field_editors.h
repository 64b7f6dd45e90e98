#pragma once
// The sub-dialogs of the properties dialog. Each is modeless, in the modeless-dialog registry while its
// window exists, writes its changes into the records it was given, and ends by disabling its window,
// calling `done` with 1 (something to take) or 2 (nothing), and destroying its window.
//
//     auto record = std::make_shared<properties_field_model>(fields[row]);
//     open_field_edit_dialog(dialog, [=](int code) { if (code == 1) fields[row] = *record; }, record,
//                            false, existing_names, info, item_names, track_count);
//
// Window creation failures are thrown as exception_win32.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "properties/field_model.h"

using properties_done = std::function<void(int)>;

// "Editing Field: {field}" (or "New Field" when adding): one track 110/121, several tracks 688/689.
void open_field_edit_dialog(HWND owner, properties_done done, std::shared_ptr<properties_field_model> record,
                            bool adding, std::vector<std::string> existing_names, const properties_field_info& info,
                            std::vector<std::string> item_names, uint32_t track_count);

struct split_settings {
    std::string separators;
    bool line_breaks = true;
};
// The separators and the line-break flag as remembered (and stored back after OK).
split_settings split_settings_load();
void split_settings_store(const split_settings& settings);
// Split Values (694).
void open_split_values_dialog(HWND owner, std::shared_ptr<split_settings> settings, properties_done done);

// Editing Values (233): one row per track, one column per record.
void open_table_edit_dialog(std::shared_ptr<properties_field_list> records, HWND owner, properties_done done,
                            const properties_field_info& info, std::vector<std::string> item_names);

// Automatically Fill Values (232) over the tracks' display paths and a copy of the field list.
void open_autofill_dialog(HWND owner, std::vector<std::string> display_paths, std::shared_ptr<properties_field_list> fields,
                          const properties_field_info& info, properties_done done);
