#pragma once
// What the shell asks of the main window (main thread).
//
//     main_window::open_command_line_locations(locations);   // {"file://C:\\Music\\a.flac", ...}
//     main_window::post_play_pause();                        // the play/pause media key

#include "foundation/kpl/string_array.h"

namespace main_window {

// The locations of the program's own or a forwarded command line (canonical "file://" forms): each written
// to the debugger output ("Open location: " + location), then, without "file://", opened in the main window
// (their folder, them selected) and played; one folder alone opens without playing.
void open_command_line_locations(const kpl::string_array& locations);
// When the main window exists, posts it WM_COMMAND 4 (pause) while playing, else 1000 (its Play button).
void post_play_pause();

}  // namespace main_window
