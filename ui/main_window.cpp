// The shell's entry points into the main window (ui/main_window.h).
#include "ui/main_window.h"

#include <windows.h>

#include "foundation/services/service_registry.h"
#include "playback/playback_controller.h"
#include "resources/resource_ids.h"
#include "shell/debug_log.h"
#include "ui/main_window_object.h"

namespace main_window {

void open_command_line_locations(const kpl::string_array& locations) {
    // Each location to the debugger output too, as it came (the instance tests read these lines).
    for (const auto& location : locations) {
        kpl::utf8_string_pow2 line("Open location: ");
        line << location;
        debug_log(line.c_str());
    }
    main_window_object* window = main_window_object::instance();
    if (window == nullptr) return;
    std::vector<std::wstring> paths;
    for (const auto& location : locations) {
        const char* text = location.c_str();
        if (strncmp(text, "file://", 7) == 0) text += 7;
        int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
        std::wstring path(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text, -1, &path[0], n);
        path.resize(path.size() - 1);
        paths.push_back(path);
    }
    if (!paths.empty()) window->open_locations(paths, true);
}

void post_play_pause() {
    main_window_object* window = main_window_object::instance();
    if (window == nullptr || window->window() == nullptr) return;
    service_ptr<playback_controller> controller;
    service_class::get_single(controller);
    PostMessageW(window->window(), WM_COMMAND, controller->is_playing() ? IDC_MAIN_PAUSE : IDC_MAIN_PLAY, 0);
}

}  // namespace main_window
