#pragma once
// folder_monitor_callback: what a directory monitor tells the library about its folder, and the one
// question it asks before reading a file.
//
//     class my_callback : public service_counted<folder_monitor_callback> {
//         bool accepts_file(const char* path) override { return true; }           // monitor thread
//         void on_items_added(const library_track_list& tracks) override { ... }   // main thread
//         void on_items_removed(const library_track_list& tracks) override { ... } // main thread
//         void on_busy_changed(bool busy) override { ... }                         // monitor thread
//     };
//
// A monitor reports removals before additions when both are waiting, never with an empty list, and reports
// nothing once it has been released. A track handle reported added stays the folder's until it is reported
// removed.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/services/service_base.h"
#include "metadata/track_handle.h"

using library_track_list = kpl::ref_list<track_handle_ref>;
using library_track_array = kpl::array_list<track_handle_ref>;

class folder_monitor_callback : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xB4D1A691, 0xA04C, 0x44D3, {0xB9, 0x5E, 0x35, 0x17, 0x09, 0x4F, 0x2C, 0xF9}};

    // Before a file's information is read: false leaves the file without tracks (its time stamp is kept).
    // `path` is the file's location ("file://" + native path). Called on the monitor's thread.
    virtual bool accepts_file(const char* path) = 0;
    // Tracks that appeared in the folder (main thread, never empty).
    virtual void on_items_added(const library_track_list& tracks) = 0;
    // Tracks that left the folder (main thread, never empty).
    virtual void on_items_removed(const library_track_list& tracks) = 0;
    // The monitor started (true) or finished (false) a piece of work. Called on the monitor's thread.
    virtual void on_busy_changed(bool busy) = 0;
};
