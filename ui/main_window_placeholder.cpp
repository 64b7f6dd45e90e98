// Placeholder of the main window's command-line and media-key entry points until the main window exists:
// the locations it opens go to the debugger output ("Open location: " + location, one line each) and are
// played: every track of each file in order (a file that cannot be read as subsong 0), from the first;
// play/pause posts the command the real window handles.
#include "ui/main_window.h"

#include <windows.h>

#include "foundation/kpl/ref_array.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "inputs/input_service.h"
#include "metadata/track_handle.h"
#include "playback/item_list.h"
#include "playback/play_order.h"
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
    kpl::ref_array handles;
    for (const auto& location : locations) {
        uint32_t count = 1;
        kpl::array<uint32_t> subsongs;
        try {
            service_ptr<track_info_reader> reader;
            input_open_info_reader(reader, file_stream_ref(), location.c_str(), abort_never, false);
            count = reader->subsong_count();
            for (uint32_t i = 0; i < count; ++i) subsongs.append(reader->subsong_id(i));
        } catch (std::exception&) {
            subsongs.set_count(0);
            subsongs.append(0);
        }
        for (uint32_t subsong : subsongs) {
            track_handle_ref h;
            track_handle_registry::get().get_handle(h, track_location(location.c_str(), subsong));
            handles.append(h.get());
        }
    }
    if (handles.count() == 0) return;
    item_enumerator_ref list = item_enumerator::create(handles);
    service_ptr<play_order_manager> order;
    service_class::get_single(order);
    order->set_list(list.get());
    item_cursor_ref first;
    list->first(first);
    order->set_current(first.get());
    service_ptr<playback_controller> controller;
    service_class::get_single(controller);
    controller->start(1, false);
}

void post_play_pause() {
    if (!app_state.main_window) return;
    service_ptr<playback_controller> controller;
    service_class::get_single(controller);
    PostMessageW(app_state.main_window, WM_COMMAND, controller->is_playing() ? 4 : 1000, 0);
}

}  // namespace main_window
