#pragma once
// tag_operations: reading the stored info of many tracks, writing their tags and removing tags, each in the
// background behind a progress window, and telling the program that the info of tracks changed.
//
//     service_ptr<tag_operations> ops;
//     service_class::get_single(ops);
//     ops->update_info(tracks, editor, main_window, 0, nullptr, completion);   // returns at once
//     // worker: for each file (tracks sorted by path), exclusive path lock, info writer, editor->apply per
//     //         subsong, commit, read back; main thread afterwards: the handles take the new info, every
//     //         info_change_notify and registered info_change_callback hears of the changed ones, a report
//     //         lists the failed tracks, completion->notify(0 / 1 aborted / 2 with failures)
//
// The decoding layer hands over what it reads in passing through a hint collector:
//
//     service_ptr<tag_operations_ext> ext;
//     if (!service_query(ops.get(), ext)) throw exception_service_extension_not_found();
//     service_ptr<info_hint_collector> hints;
//     ext->create_info_hint_collector(hints);
//     hints->add_hints_from_reader("file://C:\\a.flac", decoder.get(), abort);   // every subsong, and 0
//     hints->commit();                                      // the handles of the file take what is newer
//
// Flags of load_info, update_info and remove_tags: 0x1 no failure report; 0x2 the progress window does not
// take the focus; 0x4 the progress window appears only after 500 ms. Load modes: 0 tracks without info;
// 1 and 2 every track; 3 tracks without info and those whose file time stamp changed; any other mode
// stops the process (kpl::crash). All operations of tag_operations and tag_operations_ext2 belong to the
// main thread; the collector and the loader may be made and filled on any thread.

#include <windows.h>

#include <cstdint>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/info_change_notify.h"
#include "metadata/track_handle.h"

class byte_source;
class result_notifier;
class track_info;
class track_info_reader;

using tag_track_list = kpl::ref_list<track_handle_ref>;

enum : uint32_t {
    tag_operation_no_report = 0x1,
    tag_operation_no_activate = 0x2,
    tag_operation_delayed_window = 0x4,
};

// Called on the worker thread with every info an operation read: the whole info as the file holds it and
// the file's stats (size file_size_unknown when not known).
class info_observer : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x52D7A5B9, 0xCBAF, 0x4AB8, {0x98, 0xD4, 0xE6, 0x05, 0xA3, 0x7D, 0x0B, 0x3F}};

    virtual void on_info(const track_handle_ref& track, const track_info& info, const file_stats& stats) = 0;
};

// Decides, on the worker thread, what update_info writes: `info` is the track's info as the file holds it
// now; the editor changes it in place and answers true when it is to be written.
class info_editor : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x45D0B800, 0xDE83, 0x4A77, {0xAD, 0x34, 0x3F, 0x84, 0x2D, 0x40, 0xE7, 0x95}};

    virtual bool apply(const track_handle_ref& track, const file_stats& stats, track_info& info) = 0;
};

class tag_operations : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x64D18B80, 0x5E97, 0x40E4, {0xA3, 0x0C, 0xA4, 0x64, 0x0C, 0x60, 0xBC, 0xE5}};

    // The tracks a location expands to (through the location loaders) are appended to `out`; the handles
    // that took info on the way are announced as changed. No loader taking the location:
    // ketrel_io::exception_io_unsupported_format.
    virtual void resolve_location(const char* path, tag_track_list& out) = 0;
    // Announces the tracks as changed with flag 1.
    virtual void notify_changed(const tag_track_list& tracks) = 0;
    // Observer and completion may be null.
    virtual void load_info(const tag_track_list& tracks, int mode, HWND parent, uint32_t flags,
                           info_observer* observer, result_notifier* completion) = 0;
    virtual void update_info(const tag_track_list& tracks, info_editor* editor, HWND parent, uint32_t flags,
                             info_observer* observer, result_notifier* completion) = 0;
    virtual void remove_tags(const tag_track_list& tracks, HWND parent, uint32_t flags, info_observer* observer,
                             result_notifier* completion) = 0;
};

// Info read in passing, handed to the handles in one go. Filled by one thread at a time.
class info_hint_collector : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x719DC072, 0x8D4D, 0x4AA6, {0xA6, 0xF3, 0x90, 0x73, 0x07, 0xE5, 0xBC, 0xEE}};

    // One track's info with the file's time stamp; `fresh`: just read from the file (a later fresh read
    // of the same track replaces it), else a hint (kept only when newer than what the handle has).
    virtual void add_hint(const track_handle_ref& track, const track_info& info, uint64_t stamp, bool fresh) = 0;
    // Every subsong of the file behind the reader, and subsong 0 when no subsong id is 0, as fresh reads.
    virtual void add_hints_from_reader(const char* path, track_info_reader* reader, const abort_signal& abort) = 0;
    // The handles take what was collected (when newer) and the changed ones are announced; from another
    // thread this happens later on the main thread.
    virtual void commit() = 0;
};

// Browse records read back from a stored stream (the library's database), announced in one go.
class stream_info_loader : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x236BBFBB, 0xA83E, 0x4881, {0x8C, 0x3A, 0x55, 0x75, 0xAB, 0xAC, 0xF3, 0x72}};

    // The handle reads its record from the stream when it is newer (track_handle::load_info).
    virtual void load(const track_handle_ref& track, uint64_t stamp, byte_source& source, const abort_signal& abort) = 0;
    // The location's handle into `out`, then load; it is announced only when somebody besides `out` holds it.
    virtual void load_location(track_handle_ref& out, const track_location& location, uint64_t stamp,
                               byte_source& source, const abort_signal& abort) = 0;
    // Announces the handles that took a record (main thread).
    virtual void commit() = 0;
};

// Answered by the tag_operations object.
class tag_operations_ext : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x265C4ECE, 0xFFB2, 0x4299, {0x91, 0xB5, 0x6C, 0xA6, 0x60, 0x3D, 0xA1, 0x53}};

    virtual void create_info_hint_collector(service_ptr<info_hint_collector>& out) = 0;
    virtual void create_stream_info_loader(service_ptr<stream_info_loader>& out) = 0;
};

// Answered by the tag_operations object. A set of pointers: registering one twice keeps one entry.
class tag_operations_ext2 : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x10E80560, 0xB1EF, 0x4E5E, {0xB4, 0x0C, 0x5D, 0xFC, 0x2E, 0x9A, 0xF1, 0x11}};

    virtual void register_info_change_callback(info_change_callback* callback) = 0;
    virtual void unregister_info_change_callback(info_change_callback* callback) = 0;
};
