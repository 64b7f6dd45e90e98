#pragma once
// What the main window asks of the navigation logic: the stored navigation state, the navigation and
// now-playing lines, the context menu's items, the shuffle and the splitting of locations to open.
//
//     view_path where = main_window_glue::stored_navigation_state();   // albums when nothing is stored
//     navigation_text line;
//     main_window_glue::navigation_line(where, line);                  // "Navigation: genres, ..."
//
// Main thread only.
#include <string>
#include <vector>

#include "library/library_node.h"
#include "metadata/title_formatting/title_script.h"
#include "shell/command_model.h"

class playback_controller;

namespace main_window_glue {

view_path stored_navigation_state();
void store_navigation_state(const view_path& where);

// The navigation line for the location shown.
void navigation_line(const view_path& here, navigation_text& out);

// The two now-playing lines; in library mode the playing album's place goes to `album` and true is
// answered when one was recorded.
bool now_playing_lines(playback_controller& controller, const title_script_ref* scripts, bool library_mode,
                       navigation_text& first, navigation_text& second, library_view_key& album);

// Where the playing track lives: the recorded album in the library view when the library has the track,
// else its folder in the folder tree. False when neither applies.
bool playing_track_location(track_handle* playing, const library_view_key* album, view_path& out);

// Every order of the rows equally likely.
void shuffle(std::vector<list_text>& rows);

// A Windows folder path as folder-tree levels: "C:\Music\A" -> [["C:"], ["Music"], ["A"]].
node_path folder_components(const std::wstring& path);

// The folder of the locations and the names in it; `is_directory` when a single location is a folder
// (then `folder` is that folder). False when no location names a folder.
bool split_locations(const std::vector<std::wstring>& locations, std::wstring& folder,
                     std::vector<std::wstring>& names, bool& is_directory);

// The context menu of a selection: items with ids 1-6 (id 0: a separator), the default item, and, when
// every row holds tracks, the tracks for the command tree (from id 7) and the one folder they lie in.
struct context_item {
    unsigned id;
    const char* text_id;
};
struct context_menu {
    std::vector<context_item> items;
    unsigned default_id = 0;
    bool with_commands = false;
    kpl::array_list<track_handle_ref> tracks;
    std::wstring folder;
    std::vector<std::wstring> names;
};
void build_context_menu(library_node& view, const key_list& selection, context_menu& out);

// The folder in the system's file manager with the named items selected; shell failures throw.
void show_folder(const std::wstring& folder, const std::vector<std::wstring>& names);

}  // namespace main_window_glue
