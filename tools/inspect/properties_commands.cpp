// The properties dialog from vorn-inspect, as the player's "Properties" command opens it, before the main
// window exists:
//
// vorn-inspect properties PATH... [+ PATH...]... [--tab N] [--profile DIR]
//
// Each group of paths (groups separated by "+") is one selection (subsong 0 of each file); the next group's
// dialog opens once the previous one has closed. The player's environment stands around it: the language
// table, config.dat loaded from DIR and saved at exit, a hidden top-level window standing as the main
// window, the main-thread queue and the message loop with modeless-dialog routing and loop hooks.
// --tab gives the opener's tab value (0 by default: Shift held chooses the Properties tab).
//
// Output: "opened CAPTION" per dialog. Exit status 0 when the last one has closed, 1 when a load failed.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/service_registry.h"
#include "metadata/track_handle.h"
#include "properties/properties_dialog.h"
#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop.h"
#include "tools/inspect/inspect_command.h"

namespace {

class dialog_events final : public properties_dialog_events {
public:
    dialog_events() = default;
    void on_opened(const char* caption) override {
        // Written at once (not collected), so that a script driving the dialog sees it while it is open.
        std::string line("opened ");
        line += caption;
        line += "\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    void on_closed() override { ended = true; }
    void on_open_failed() override {
        ended = true;
        failed = true;
    }
    bool ended = false;
    bool failed = false;
};

struct main_window_scope {
    main_window_scope() {
        hidden_window_create();
        window = CreateWindowExW(0, L"STATIC", L"Vorn", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        app_state.main_window = window;
    }
    ~main_window_scope() {
        app_state.main_window = nullptr;
        if (window) DestroyWindow(window);
        main_thread_queue::drain(true);
        hidden_window_destroy();
    }
    HWND window = nullptr;
};

int run_properties(const inspect_arguments& args, inspect_output&) {
    static const char* const known[] = {"tab", "profile", nullptr};
    args.expect(0xFFFFFFFF, known);
    int tab = 0;
    if (const char* value = args.option("tab")) tab = std::atoi(value);
    std::vector<std::vector<std::string>> groups(1);
    for (uint32_t i = 0; i < args.positional.count(); ++i) {
        if (args.positional[i] == "+") {
            groups.emplace_back();
            continue;
        }
        groups.back().push_back(std::string("file://") + inspect_path(args.positional[i].c_str()).c_str());
    }
    for (const auto& group : groups)
        if (group.empty()) throw kpl::exception_invalid_params("properties: every group needs a path");

    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    std::string config;
    if (const char* profile = args.option("profile")) {
        config = std::string("file://") + inspect_path(profile).c_str() + "\\config.dat";
        config_store::program().load(config.c_str(), true);
    }
    dialog_events events;
    properties_dialog_set_events(&events);
    int status = 0;
    {
        main_window_scope window;
        for (const auto& group : groups) {
            std::vector<track_handle_ref> tracks;
            for (const std::string& location : group) {
                track_handle_ref track;
                track_handle_registry::get().get_handle(track, track_location(location.c_str(), 0));
                tracks.push_back(track);
            }
            events.ended = false;
            open_properties_dialog(tracks, tab);
            while (!events.ended) {
                dispatch_waiting_messages();
                if (!events.ended) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
            if (events.failed) {
                status = 1;
                break;
            }
        }
    }
    properties_dialog_set_events(nullptr);
    if (!config.empty()) config_store::program().save_now(config.c_str());
    if (status) throw ketrel_io::exception_io_data("properties: the files of a group could not be loaded");
    return status;
}

inspect_command g_properties("properties", "PATH... [+ PATH...]... [--tab N] [--profile DIR]",
                             "opens the properties dialog over the files as the player's Properties command does, one group after another",
                             &run_properties);

}  // namespace
