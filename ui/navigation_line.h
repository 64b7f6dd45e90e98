#pragma once
// The navigation line (1068): a prefix and the fixed places a user can jump to, each a link unless it is
// the place shown now.
//
//     navigation_text line;
//     build_navigation_line(line, {0, [[], []]}, {"D:\\Music"});
//     // "You are here:  <a>Genres</a>, <a>Artists</a>, Albums, <a>Folder</a>, <a>Computer</a>"
//     // targets: genres {0, []}, artists {0, [[]]}, folder {1, [["D:"], ["Music"]]}, computer {1, []}
//
// Entries in order (texts from the language table): "ui_nav_genres" kind 0 no levels; "ui_nav_artists"
// kind 0 one empty level; "ui_nav_albums" kind 0 two empty levels; with exactly one music folder
// "ui_nav_folder", kind 1 at that folder (a "." folder is the program's), else "ui_nav_folders", kind 2
// at the folders root; "ui_nav_computer" kind 1 no levels. The line is "ui_nav_prefix", a blank, then the
// entries joined by ", ". An entry equal to `current` (kind and location) is plain text.

#include <string>
#include <vector>

#include "library/list_text.h"

// `music_folders`: the library's effective folder list (UTF-8 paths, library_manager::effective_list).
// `out` is cleared first.
void build_navigation_line(navigation_text& out, const view_path& current, const std::vector<std::string>& music_folders);
