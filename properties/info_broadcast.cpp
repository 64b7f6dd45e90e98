#include "properties/info_broadcast.h"

#include <set>

#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "shell/crash_handler.h"

namespace {

std::set<info_change_callback*>& callbacks() {
    static std::set<info_change_callback*> set;
    return set;
}

void send(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) {
    service_iterator it(info_change_notify::class_guid);
    service_ref each;
    while (it.next(each)) each.as<info_change_notify>()->on_info_changed(tracks, flag);
    const std::set<info_change_callback*> copy = callbacks();
    for (info_change_callback* callback : copy) callback->on_info_changed(tracks, flag);
}

}  // namespace

void info_broadcast(const kpl::ref_list<track_handle_ref>& tracks, uint8_t flag) {
    main_thread::assert_current();
    if (tracks.count() == 0) return;
    try {
        if (tracks.count() == 1) {
            send(tracks, flag);
            return;
        }
        kpl::array_list<track_handle_ref> sorted;
        sorted.insert_from(tracks, 0);
        handle_list_remove_duplicates(sorted);
        send(sorted, flag);
    } catch (...) {
        crash_from_callback();
    }
}

void info_callback_register(info_change_callback* callback) {
    main_thread::assert_current();
    callbacks().insert(callback);
}

void info_callback_unregister(info_change_callback* callback) {
    main_thread::assert_current();
    callbacks().erase(callback);
}
