#pragma once
// The file-system front ends: free functions that find the provider owning a location and call it.
//
//   file_stream_ref f;
//   file_system_open_read(f, "file://C:\\Music\\a.flac", abort);
//   file_system_open_retrying(f, path, open_mode_read, abort, 0.5);   // waits out another program's
//                                                                    // hold for up to half a second
//   if (!file_system_exists("file://C:\\x.cue", abort)) ...          // missing: false, no exception
//   file_system_move("file://C:\\a", "tempfile://", abort);          // no provider owns both: throws
//
// A location no provider owns gives ketrel_io::exception_io_no_handler_for_path ("Invalid path").
// The retrying forms catch ketrel_io::exception_io_sharing_violation, sleep 0.01 s through the abort
// signal (an abort during the sleep throws ketrel_io::exception_aborted) and try again until more than
// the time-out has passed since the first attempt; then the sharing violation passes on. A time-out of 0
// retries only while the tick count has not moved since the first attempt. Nothing is kept between calls.

#include <cstdint>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/fs/filesystem_provider.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"

// The first provider (in registry order) that owns the location; false when none does.
bool file_system_try_find(const char* location, filesystem_provider_ref& out);
// The same; none gives ketrel_io::exception_io_no_handler_for_path.
filesystem_provider_ref file_system_find(const char* location);

// The first canonical form a provider gives; the location unchanged when none does.
void file_system_canonical_path(const char* location, kpl::utf8_string& out);
// The owning provider's display text; the location itself when there is none.
void file_system_display_path(const char* location, kpl::utf8_string& out);

void file_system_open(file_stream_ref& out, const char* location, uint32_t mode, const abort_signal& abort);
void file_system_open_read(file_stream_ref& out, const char* location, const abort_signal& abort);
// file_system_open_read for a thread that reads a little of many files (the library's info reads): on the
// local disk the file gets a synchronous handle (local_filesystem::open_read_synchronous), which saves a
// system round trip per read but cannot be aborted during a read; elsewhere it is file_system_open_read.
void file_system_open_read_synchronous(file_stream_ref& out, const char* location, const abort_signal& abort);
void file_system_open_retrying(file_stream_ref& out, const char* location, uint32_t mode,
                               const abort_signal& abort, double timeout_seconds);

// For inputs: a held file is rewound and kept; otherwise the location is opened by the input's open
// reason (the input framework's input_open_reason): 0 (info reading) and 1 (decoding) for reading,
// 2 (info writing) for modification. Another reason is a broken invariant and stops the process.
void filesystem_open_mode(file_stream_ref& file, const char* location, uint32_t reason, const abort_signal& abort);

void file_system_remove(const char* location, const abort_signal& abort);
void file_system_remove_retrying(const char* location, const abort_signal& abort, double timeout_seconds);
void file_system_get_stats(const char* location, file_stats& out, bool& writable, const abort_signal& abort);
// False when the provider reports ketrel_io::exception_io_not_found; other failures pass on.
bool file_system_exists(const char* location, const abort_signal& abort);
void file_system_create_folder(const char* location, const abort_signal& abort);
void file_system_list_folder(const char* location, folder_list_callback& callback, const abort_signal& abort);
// Through the first provider that owns both locations (none: ketrel_io::exception_io_no_handler_for_path).
void file_system_move(const char* source, const char* target, const abort_signal& abort);
// file_system_move with the sharing-violation retry and a fixed time-out of 300 seconds.
void file_system_move_retrying(const char* source, const char* target, const abort_signal& abort);
constexpr double file_system_move_timeout_seconds = 300.0;
// A location no provider owns counts as remote.
bool file_system_is_remote(const char* location);

// A new "tempfile://" file, deleted when its last reference goes.
void temp_file_open(file_stream_ref& out, const abort_signal& abort);
// A new "tempmem://" file.
void temp_memory_file_open(file_stream_ref& out, const abort_signal& abort);
