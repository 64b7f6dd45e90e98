#pragma once
// What the benchmarks over the library's views share: a view host and a library listener that ignore what
// they are told, and a pump for the main thread's messages and queued tasks.
//
//     quiet_listener listener;
//     library->register_listener(&listener);   // loads the library as the first view does
//     pump();                                  // runs what the load queued for the main thread

#include <windows.h>

#include "library/library_view_model.h"
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
