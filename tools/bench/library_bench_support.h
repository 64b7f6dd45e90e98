#pragma once
// What the benchmarks over the library's views share: a view host and a library listener that ignore what
// they are told, a pump for the main thread's messages and queued tasks, and the library of a profile whose
// monitors neither rescan nor watch.
//
//     service_ptr<media_library> library = stored_library("C:\\bench\\profile");
//     quiet_listener listener;
//     library->register_listener(&listener);   // loads the library as the first view does
//     pump();                                  // runs what the load queued for the main thread

#include <windows.h>

#include <string>

#include "foundation/services/config_store.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "library/library_view_model.h"
#include "library/media_library.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"

struct quiet_host final : library_view_host {
    void on_items_changed() override {}
    void on_indexing_changed(bool) override {}
};

struct quiet_listener final : library_change_listener {
    void on_items_added(const library_track_list&) override {}
    void on_items_removed(const library_track_list&) override {}
    void on_items_modified(const library_track_list&) override {}
    void on_indexing_changed(bool) override {}
};

// Dispatches every waiting message, then runs the main-thread queue until it is empty.
inline void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    main_thread_queue::drain(true);
}

// The media library over `profile` (a Windows path) with its stored configuration, monitoring off: it is
// loaded from database.dat alone when a listener registers, so the figures are the stored state's.
inline service_ptr<media_library> stored_library(const std::string& profile) {
    profile_folder::set(("file://" + profile).c_str());
    const kpl::utf8_string_pow2 config = config_store::program_location();
    config_store::program().load(config.c_str(), true);
    cfg_monitor_library_folders = false;
    hidden_window_create();
    media_library::startup();
    service_ptr<media_library> library;
    service_class::get_single(library);
    return library;
}
