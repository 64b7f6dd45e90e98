// Placeholder of the main window's command-line and media-key entry points until the main window exists:
// the locations it would open go to the debugger output ("Open location: " + location, one line each);
// play/pause posts the command the real window handles.
#include "ui/main_window.h"

#include <windows.h>

#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"
#include "shell/app_state.h"
#include "shell/debug_log.h"

namespace main_window {

void open_command_line_locations(const kpl::string_array& locations) {
    for (const auto& location : locations) {
        kpl::utf8_string_pow2 line("Open location: ");
        line << location;
        debug_log(line.c_str());
    }
}

void post_play_pause() {
    if (!app_state.main_window) return;
    service_ptr<playback_controller> controller;
    service_class::get_single(controller);
    PostMessageW(app_state.main_window, WM_COMMAND, controller->is_playing() ? 4 : 1000, 0);
}

}  // namespace main_window
