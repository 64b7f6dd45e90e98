#include "metadata/decoding/location_tracks.h"

#include <exception>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/path_names.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_probe.h"
#include "metadata/track_info.h"

namespace {

struct folder_entry {
    kpl::utf8_string_tight location;
    file_stats stats;
};

class entry_collector final : public folder_list_callback {
public:
    bool on_entry(filesystem_provider&, const abort_signal&, const char* location, bool, const file_stats& stats) override {
        folder_entry e;
        e.location = location;
        e.stats = stats;
        entries.append(std::move(e));
        return true;
    }
    kpl::array<folder_entry> entries;
};

void deliver_plain(const char* path, location_track_sink& sink, uint32_t walk_flag, const file_stats& stats) {
    track_handle_ref handle;
    sink.make_handle(handle, track_location(path, 0));
    sink.on_track(handle, walk_flag, stats, 1);
}

void read_file(const char* path, location_track_sink& sink, const abort_signal& abort, uint32_t walk_flag,
               const file_stats& walk_stats) {
    if (file_system_is_remote(path)) {
        deliver_plain(path, sink, walk_flag, walk_stats);
        return;
    }
    bool delivered = false;
    try {
        service_ptr<track_info_reader> reader;
        input_open_info_reader(reader, file_stream_ref(), path, abort, false);
        file_stats stats = reader->get_file_stats(abort);
        uint32_t count = reader->subsong_count();
        for (uint32_t i = 0; i < count; ++i) {
            abort.check();
            track_handle_ref handle;
            sink.make_handle(handle, track_location(path, reader->subsong_id(i)));
            if (sink.wants_info(handle, walk_flag, stats, 1)) {
                track_info_store info;
                reader->get_info(handle->get_location().get_subsong(), info, abort);
                sink.on_track_info(handle, walk_flag, stats, info, 1);
            } else {
                sink.on_track(handle, walk_flag, stats, 1);
            }
            delivered = true;
        }
    } catch (const ketrel_io::exception_aborted&) {
        throw;
    } catch (const std::exception&) {
        // A file named by the caller is still a track; one found in a folder is skipped.
        if (!delivered && !abort.is_set() && walk_flag == 0) deliver_plain(path, sink, walk_flag, walk_stats);
    }
}

void walk(const char* path, location_track_sink& sink, const abort_signal& abort, uint32_t walk_flag,
          const file_stats& stats) {
    abort.check();
    sink.on_location(path);
    entry_collector folder;
    bool is_folder = true;
    try {
        file_system_list_folder(path, folder, abort);
    } catch (const ketrel_io::exception_aborted&) {
        throw;
    } catch (const std::exception&) {
        is_folder = false;
    }
    if (is_folder) {
        for (const folder_entry& e : folder.entries) walk(e.location.c_str(), sink, abort, 1, e.stats);
    } else if (sink.accepts_file(path, walk_flag)) {
        read_file(path, sink, abort, walk_flag, stats);
    }
}

// Offers the location to one loader; false when it is not the loader's (the file is rewound for the next).
bool try_loader(location_loader_service& loader, const char* path, file_stream_ref& file, location_track_sink& sink,
                const abort_signal& abort) {
    try {
        loader.load(path, file, sink, abort);
        return true;
    } catch (const ketrel_io::exception_io_unsupported_format&) {
        if (file) file->rewind(abort);
        return false;
    }
}

}  // namespace

void location_read_tracks(const char* path, location_track_sink& sink, const abort_signal& abort, uint32_t walk_flag) {
    try {
        location_load_through_services(path, sink, abort);
    } catch (const ketrel_io::exception_io_unsupported_format&) {
        location_enumerate_tracks(path, sink, abort, walk_flag);
    }
}

void location_enumerate_tracks(const char* path, location_track_sink& sink, const abort_signal& abort,
                               uint32_t walk_flag) {
    kpl::utf8_string_pow2 canonical;
    file_system_canonical_path(path, canonical);
    walk(canonical.c_str(), sink, abort, walk_flag, file_stats());
}

void location_load_through_services(const char* path, location_track_sink& sink, const abort_signal& abort) {
    kpl::utf8_string_pow2 canonical;
    file_system_canonical_path(path, canonical);
    char extension[32];
    kpl::extension_of(canonical.c_str(), extension);

    file_stream_ref file;
    filesystem_provider_ref provider;
    if (file_system_try_find(canonical.c_str(), provider) && provider->open_before_probe()) {
        file_system_open_read(file, canonical.c_str(), abort);
    }

    service_iterator by_type(location_loader_service::class_guid);
    service_ref loader;
    kpl::utf8_string_pow2 content_type;
    if (file && file->get_content_type(content_type)) {
        while (by_type.next(loader)) {
            location_loader_service& l = *loader.as<location_loader_service>();
            if (l.accepts_content_type(content_type.c_str()) && try_loader(l, canonical.c_str(), file, sink, abort)) {
                return;
            }
        }
    }

    service_iterator by_extension(location_loader_service::class_guid);
    while (by_extension.next(loader)) {
        location_loader_service& l = *loader.as<location_loader_service>();
        if (utf8_compare_nocase_fast(l.get_extension(), extension) != 0) continue;
        if (!file) file_system_open_read(file, canonical.c_str(), abort);
        if (try_loader(l, canonical.c_str(), file, sink, abort)) return;
    }
    throw ketrel_io::exception_io_unsupported_format();
}
