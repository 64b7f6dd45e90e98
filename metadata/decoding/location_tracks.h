#pragma once
// The tracks of a location: a file with its subsongs, or every file in a folder tree, delivered to a
// caller's sink with their info read only when the sink wants it. The tag operations use it to load the
// tracks they work on.
//
//     class my_sink : public service_counted<location_track_sink> { ... };
//     location_read_tracks("file://C:\\Music", sink, abort, 0);
//         sink.on_location ("file://C:\\Music"), on_location ("file://C:\\Music\\a.flac"),
//         sink.make_handle (a.flac subsong 1), wants_info -> true, on_track_info (handle, 1, stats, info, 1)
//         ...
//
// A folder is walked depth first in listing order. A file is read through an info reader found by
// probing; a file no input reads is skipped when it was found inside a folder, but still delivered as
// one track without info when the caller named it (walk flag 0). A file on a remote file system is
// delivered as one track without being opened. An abort ends the walk with ketrel_io::exception_aborted;
// other failures of one file or folder only end that file.
//
// Loader services can take over whole locations first (location_load_through_services); this program
// registers none, so every location is walked.

#include <cstdint>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_handle.h"
#include "metadata/track_location.h"

class track_info;

// The caller's receiver of tracks. The walk flag is the caller's value for the location it named and 1
// for everything found inside a folder; the last argument is always 1.
class location_track_sink : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x924470A0, 0x1478, 0x4141, {0xA7, 0x5A, 0xC5, 0x2F, 0x1F, 0xFA, 0xEF, 0xEA}};

    // Every location the walk visits.
    virtual void on_location(const char* path) = 0;
    // A track delivered without its info.
    virtual void on_track(const track_handle_ref& handle, uint32_t walk_flag, const file_stats& stats,
                          uint32_t flags) = 0;
    // Whether the track's info is to be read.
    virtual bool wants_info(const track_handle_ref& handle, uint32_t walk_flag, const file_stats& stats,
                            uint32_t flags) = 0;
    // A track with the info just read.
    virtual void on_track_info(const track_handle_ref& handle, uint32_t walk_flag, const file_stats& stats,
                               const track_info& info, uint32_t flags) = 0;
    // The handle of a location.
    virtual void make_handle(track_handle_ref& out, const track_location& location) = 0;
    // Whether a file met during the walk is to be read.
    virtual bool accepts_file(const char* path, uint32_t walk_flag) = 0;
};

// Formats that expand one location into tracks of their own. None is registered in this program.
class location_loader_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x7103CAE9, 0x091C, 0x4D80, {0xBC, 0x1D, 0x28, 0x4A, 0xC1, 0x3F, 0x1E, 0x8C}};

    // Delivers the location's tracks; ketrel_io::exception_io_unsupported_format when it is not one of
    // this loader's.
    virtual void load(const char* path, file_stream_ref file, location_track_sink& sink, const abort_signal& abort) = 0;
    // The file extension the loader takes (without the dot).
    virtual const char* get_extension() = 0;
    virtual bool accepts_content_type(const char* content_type) = 0;
};

// location_load_through_services, and when no loader takes the location (always, in this program),
// location_enumerate_tracks.
void location_read_tracks(const char* path, location_track_sink& sink, const abort_signal& abort, uint32_t walk_flag);
// Walks the canonical form of the path (see the top of this file); the first location has unknown stats.
void location_enumerate_tracks(const char* path, location_track_sink& sink, const abort_signal& abort,
                               uint32_t walk_flag);
// Offers the location to the loader services, by the file's content type first and then by extension;
// none taking it is ketrel_io::exception_io_unsupported_format.
void location_load_through_services(const char* path, location_track_sink& sink, const abort_signal& abort);
