#pragma once
// What the shell asks of the main window (main thread).
//
//     main_window::open_command_line_locations(locations);   // {"file://C:\\Music\\a.flac", ...}
//     main_window::post_play_pause();                        // the play/pause media key

#include "foundation/kpl/string_array.h"

namespace main_window {

// The locations of the program's own or a forwarded command line (canonical "file://" forms): listed in the
// main window and played.
void open_command_line_locations(const kpl::string_array& locations);
// When the main window exists, posts it WM_COMMAND 4 (pause) while playing, else 1000 (its Play button).
void post_play_pause();

}  // namespace main_window
