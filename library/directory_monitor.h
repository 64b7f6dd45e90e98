#pragma once
// directory_monitor: watches one folder tree, keeps its files' tracks in a snapshot and reports the tracks
// that come and go to a folder_monitor_callback.
//
//     service_ptr<directory_monitor> service;
//     service_class::get_single(service);
//     service_ptr<directory_monitor_instance> monitor;
//     library_track_array initial;
//     service->create_monitor(monitor, callback, "file://D:\\Music", stored, 0, initial);
//     callback->on_items_added(initial);          // the caller reports the stored tracks itself
//     ...                                         // a background thread rescans, then watches
//     memory_sink blob;
//     monitor->save_state(blob, abort);           // the stored form, for the next create_monitor
//     monitor->set_flags(directory_monitor_no_watch | directory_monitor_skip_rescan);   // thread stops
//     monitor.release();                          // last reference: thread stopped, nothing more reported
//
// Flags: 0 rescans the whole folder, then watches it for changes; 2 (skip_rescan) watches without the
// first rescan; 4 (no_watch) rescans once and ends the thread; 6 starts no thread at all (the stored
// state is all there is, is_finished answers true at once).
//
// Stored state (all integers little-endian, GUIDs in their 16-byte memory form):
//     chunk GUID {A5CA0AD0-EA5D-4E04-AA2C-DD0A4502366E}, u32 length, the root directory record;
//     any other chunk {GUID, u32 length, bytes} is stepped over; the end is the GUID
//     {9BEA8494-6045-4945-9ABC-0B38AEC3916A}.
//     directory record: u32 file count; per file in name byte order: u32 length + UTF-8 name, u64 time
//     stamp, u32 track count, per track: u32 subsong, u32 has-record (1: the track's browse record in its
//     stream form follows); then u32 subdirectory count; per subdirectory: name, its directory record.

#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "library/folder_monitor_callback.h"

enum : uint32_t {
    directory_monitor_skip_rescan = 0x2,
    directory_monitor_no_watch = 0x4,
};

// One monitored folder. Reference-counted; operations belong to the main thread.
class directory_monitor_instance : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x6D00AB78, 0xC105, 0x4E60, {0xB3, 0xBA, 0x13, 0xC7, 0xA1, 0x2F, 0xE3, 0x7C}};

    // Writes the snapshot in the stored form; the thread may keep running meanwhile.
    virtual void save_state(byte_sink& out, const abort_signal& abort) = 0;
    // True once the first piece of work is done, or when no thread runs.
    virtual bool is_finished() = 0;
    // Stops the thread and starts again with the new flags.
    virtual void set_flags(uint32_t flags) = 0;
};

// Answered by every monitor instance (query): whether it has caught up with the disk, for callers that wait
// for indexing to end (the console test tool).
//
//     service_ptr<directory_monitor_progress> progress;
//     if (service_query(monitor.get(), progress)) while (!progress->is_settled()) pump_main_thread_queue();
class directory_monitor_progress : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xC097F903, 0xC79E, 0x489F, {0xB4, 0x9D, 0x39, 0xB7, 0x8F, 0x8C, 0x4B, 0xEC}};

    // True when no thread runs, or when the thread has reported itself idle with no file waiting to be
    // read and every change handed to the main-thread queue (whose callbacks may still wait there).
    virtual bool is_settled() = 0;
};

// The service (a static object) that makes monitors.
class directory_monitor : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x1B5E43E0, 0x4A06, 0x497F, {0xAD, 0xA0, 0xBF, 0xAA, 0x10, 0x20, 0x3E, 0x66}};

    // `root` is the folder as a "file://" URL. With `stored` (positioned at the blob's start, its size
    // known), the snapshot is loaded from it first and every stored track appended to `initial`; a damaged
    // blob throws (ketrel_io::exception_io_data, or exception_io_no_length for a stream without size) and
    // nothing is created. Then the thread starts as the flags say.
    virtual void create_monitor(service_ptr<directory_monitor_instance>& out, folder_monitor_callback* callback,
                                const char* root, file_stream* stored, uint32_t flags,
                                library_track_list& initial) = 0;
};
