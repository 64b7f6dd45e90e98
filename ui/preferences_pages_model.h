#pragma once
// The decisions of the Music folders and Playback preference pages, without windows.
//
// Folders Apply: what a page apply does, from the boxes, the edited folders and the stored settings.
//     folders_apply_actions a = folders_apply_decide({true, false, edited, stored, true, true, true});
//     // monitor changed, list equal, include equal: store the monitor option and run apply_folder_list
//
// Output choices: one per device of every output module, modules in ASCII-case-insensitive name order (a
// later module of the same name replaces the earlier one), devices in the order reported; the label is
// "Module : Device" when any module has flag 8 and the module has a name, else the device name alone. A
// module that throws while listing keeps the devices it reported before and the listing goes on.
//     std::vector<output_choice> choices;
//     output_choices_list(modules, choices);      // {"DirectSound : Primary Sound Driver", ds, {0}}, ...

#include <string>
#include <vector>

#include "foundation/kpl/guid.h"

class output_module;

struct folders_apply_input {
    bool monitor_checked;
    bool monitor_stored;
    std::vector<std::string> edited_folders;
    std::vector<std::string> stored_folders;
    bool include_checked;  // false in portable mode: the box is hidden and never checked
    bool include_stored;
    bool library_loaded;
};

struct folders_apply_actions {
    bool store_monitor = false;
    bool store_folders = false;  // replace watched_folder_list by the edited folders
    bool store_include = false;
    bool startup = false;             // media_library::startup
    bool apply_folder_list = false;   // media_library::apply_folder_list
};

folders_apply_actions folders_apply_decide(const folders_apply_input& input);

struct output_choice {
    kpl::guid module = kpl::guid_null;
    kpl::guid device = kpl::guid_null;  // null: the module's default device
    std::string label;                  // UTF-8
};

// The flag of output_module::get_flags that asks for module names in front of device names.
constexpr unsigned output_module_flag_prefix = 8;

void output_choices_list(const std::vector<output_module*>& modules, std::vector<output_choice>& out);

// The index of the first choice of that module and device (all 32 bytes equal); -1 when none, so that a
// configured device that is gone leaves nothing selected.
int output_choice_find(const std::vector<output_choice>& choices, const kpl::guid& module, const kpl::guid& device);
