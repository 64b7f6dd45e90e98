#pragma once
// filesystem_provider: the service that handles the locations of one path scheme.
//
// Three providers are registered: the local disk ("file://" locations and bare native paths), the
// temporary-file provider (the single location "tempfile://") and the in-memory provider ("tempmem://").
// Callers do not pick a provider themselves; the front ends of foundation/fs/file_system.h find the one
// whose owns_path answers true and call it:
//
//   file_stream_ref f;
//   file_system_open(f, "file://C:\\Music\\a.flac", open_mode_read, abort);   // local disk
//   temp_file_open(f, abort);                                                 // "tempfile://"
//
// Every operation that takes an abort_signal checks it first (ketrel_io::exception_aborted "User abort").
// Windows failures become the ketrel_io exception of their error code (throw_win32_io_error). Providers
// hold no state and may be called from any thread.

#include <cstdint>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class filesystem_provider;

// Receives the entries of a folder listing (filesystem_provider::list_folder).
class folder_list_callback {
public:
    // One entry: its location, whether it is a folder, and its stats (folders: size unknown, time 0).
    // Answer false to end the listing.
    virtual bool on_entry(filesystem_provider& provider, const abort_signal& abort, const char* location,
                          bool is_folder, const file_stats& stats) = 0;

protected:
    ~folder_list_callback() = default;
};

class filesystem_provider : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x2FBCE1E5, 0x902E, 0x49E0, {0xB9, 0xCF, 0xCE, 0x0F, 0xBA, 0x76, 0x53, 0x48}};

    // The canonical form of an owned location; false when the location is not this provider's or has
    // none.
    virtual bool canonicalize(const char* location, kpl::utf8_string& out) = 0;
    virtual bool owns_path(const char* location) = 0;
    // The text to show the user for a location; false when the provider has none.
    virtual bool display_path(const char* location, kpl::utf8_string& out) = 0;
    // Opens a location; out receives the file, releasing what it held.
    virtual void open(file_stream_ref& out, const char* location, uint32_t mode, const abort_signal& abort) = 0;
    virtual void remove(const char* location, const abort_signal& abort) = 0;
    // Moves a file; an existing target is not replaced (ketrel_io::exception_io_already_exists).
    virtual void move(const char* source, const char* target, const abort_signal& abort) = 0;
    virtual bool is_remote(const char* location) = 0;
    // The location's size and last-write time, and whether it may be written.
    virtual void get_stats(const char* location, file_stats& out, bool& writable, const abort_signal& abort) = 0;
    // The location relative to the folder of a base location; false when it is not below that folder.
    virtual bool make_relative(const char* location, const char* base, kpl::utf8_string& out) = 0;
    // The location a relative form (made by make_relative) names beside a base location.
    virtual bool resolve_relative(const char* relative, const char* base, kpl::utf8_string& out) = 0;
    virtual void create_folder(const char* location, const abort_signal& abort) = 0;
    // Calls back once per entry of a folder, in the order the platform gives them.
    virtual void list_folder(const char* location, folder_list_callback& callback, const abort_signal& abort) = 0;
    // Whether location decoding opens a file once before probing the inputs. False for all three.
    virtual bool open_before_probe() = 0;

protected:
    filesystem_provider() = default;
    ~filesystem_provider() = default;
};

// The providers are static singletons registered as services of filesystem_provider::class_guid
// (service_static<filesystem_provider> in a service_factory_single record).
using filesystem_provider_ref = kpl::rc_ptr<filesystem_provider>;
