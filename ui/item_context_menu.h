#pragma once
// The item list's context menu (what it holds for a selection) and the id ranges of the main menu.
//
//     item_menu_plan plan;
//     if (!plan_item_menu(view, selected, plan)) MessageBeep(0);       // no selection: no menu
//     // plan.items: {1 "contextmenu_browse" default}, {2 ...}, ..., {0 separator}, ...
//     // plan.command_tree: the context-menu command tree of plan.tracks follows from id 7 on
//
// Items in order: "contextmenu_browse" (1) when the view can open the selection. When the view can play:
// "contextmenu_start_playback_here" (2) for one row that cannot be opened, "contextmenu_play_this" (3),
// "contextmenu_play_this_random_order" (4) for more than one row. The first of 1, 2, 3 present is the
// default item. When every selected row holds tracks: a separator; when the view is not the folder tree
// and the tracks lie in one folder (one_folder_of), "contextmenu_go_to_folder" (6) and a separator; then
// the command tree from id 7. Otherwise, when the view shows a folder (get_explorer_path): a separator and
// "contextmenu_show_in_explorer" (5).
// Main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "library/library_node.h"

namespace item_menu {
enum command : uint32_t {
    separator = 0,
    browse = 1,
    start_playback_here = 2,
    play_this = 3,
    play_this_random_order = 4,
    show_in_explorer = 5,
    go_to_folder = 6,
    first_tree_command = 7,
};
}  // namespace item_menu

struct item_menu_entry {
    uint32_t id;              // item_menu::separator for a separator
    const char* text_id;      // language id; null for a separator
    bool is_default;
};

struct item_menu_plan {
    std::vector<item_menu_entry> items;
    // The command tree for `tracks` follows the items, from item_menu::first_tree_command.
    bool command_tree = false;
    track_list tracks;
    // For "Go to folder": the folder (a Windows path) and the tracks' file names to select.
    std::wstring folder;
    std::vector<std::wstring> names;
    // For "Show in Explorer".
    std::wstring explorer_path;
};

// False (no menu) when nothing is selected.
bool plan_item_menu(library_node& view, const key_list& selected, item_menu_plan& out);

// "Go to folder": true when every path's folder part (up to and including its last "/", ":", "\" or "|")
// equals the first one's byte for byte and the paths begin with "file://". `folder` is then the text after
// "file://" without a trailing "\" (a drive root keeps it: "C:\"), `names` each path's file name.
//     {"file://D:\\A\\1.flac", "file://D:\\A\\2.flac"} -> "D:\A", {"1.flac", "2.flac"}
bool one_folder_of(const std::vector<std::string>& paths, std::wstring& folder, std::vector<std::wstring>& names);

// The main menu: group i (0..3: file, view, playback, help) fills ids from 1 + 2048 x i, at most 2048.
namespace main_menu_ids {
constexpr uint32_t per_group = 2048;
constexpr uint32_t group_count = 4;
// The first id of a group.
constexpr uint32_t first_of(uint32_t group) { return 1 + per_group * group; }
// id 1..8192 -> the builder (id - 1) / 2048 and its command (id - 1) % 2048; false for any other id.
bool decode(uint32_t id, uint32_t& group, uint32_t& command);
}  // namespace main_menu_ids
