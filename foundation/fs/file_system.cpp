#include "foundation/fs/file_system.h"

#include "foundation/fs/local_filesystem.h"
#include "foundation/fs/provider_list.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/tasks/tick_timer.h"

namespace {

const double retry_sleep_seconds = 0.01;

// Runs an operation until it ends without a sharing violation or the time-out has passed.
template <class Operation>
void retry_sharing_violations(const abort_signal& abort, double timeout_seconds, Operation operation) {
    tick_timer timer;
    timer.start();
    for (;;) {
        try {
            operation();
            return;
        } catch (const ketrel_io::exception_io_sharing_violation&) {
            if (timer.query_seconds() > timeout_seconds) throw;
        }
        abort.sleep(retry_sleep_seconds);
    }
}

}  // namespace

bool file_system_try_find(const char* location, filesystem_provider_ref& out) {
    filesystem_provider_ref provider;
    for (uint32_t i = 0; filesystem_provider_at(i, provider); ++i) {
        if (provider->owns_path(location)) {
            out = provider;
            return true;
        }
    }
    return false;
}

filesystem_provider_ref file_system_find(const char* location) {
    filesystem_provider_ref provider;
    if (!file_system_try_find(location, provider)) throw ketrel_io::exception_io_no_handler_for_path();
    return provider;
}

void file_system_canonical_path(const char* location, kpl::utf8_string& out) {
    filesystem_provider_ref provider;
    for (uint32_t i = 0; filesystem_provider_at(i, provider); ++i)
        if (provider->canonicalize(location, out)) return;
    out.assign(location);
}

void file_system_display_path(const char* location, kpl::utf8_string& out) {
    filesystem_provider_ref provider;
    if (file_system_try_find(location, provider) && provider->display_path(location, out)) return;
    out.assign(location);
}

void file_system_open(file_stream_ref& out, const char* location, uint32_t mode, const abort_signal& abort) {
    file_system_find(location)->open(out, location, mode, abort);
}

void file_system_open_read(file_stream_ref& out, const char* location, const abort_signal& abort) {
    file_system_open(out, location, open_mode_read, abort);
}

void file_system_open_read_synchronous(file_stream_ref& out, const char* location, const abort_signal& abort) {
    filesystem_provider_ref provider = file_system_find(location);
    if (provider.get() == &local_filesystem::provider())
        local_filesystem::open_read_synchronous(abort, location, out);
    else
        provider->open(out, location, open_mode_read, abort);
}

void file_system_open_retrying(file_stream_ref& out, const char* location, uint32_t mode,
                               const abort_signal& abort, double timeout_seconds) {
    filesystem_provider_ref provider = file_system_find(location);
    retry_sharing_violations(abort, timeout_seconds, [&] { provider->open(out, location, mode, abort); });
}

void filesystem_open_mode(file_stream_ref& file, const char* location, uint32_t reason, const abort_signal& abort) {
    if (file) {
        file->rewind(abort);
        return;
    }
    switch (reason) {
    case 0:  // info reading
    case 1:  // decoding
        file_system_open(file, location, open_mode_read, abort);
        return;
    case 2:  // info writing
        file_system_open(file, location, open_mode_modify, abort);
        return;
    default:
        kpl::crash();
    }
}

void file_system_remove(const char* location, const abort_signal& abort) {
    file_system_find(location)->remove(location, abort);
}

void file_system_remove_retrying(const char* location, const abort_signal& abort, double timeout_seconds) {
    filesystem_provider_ref provider = file_system_find(location);
    retry_sharing_violations(abort, timeout_seconds, [&] { provider->remove(location, abort); });
}

void file_system_get_stats(const char* location, file_stats& out, bool& writable, const abort_signal& abort) {
    file_system_find(location)->get_stats(location, out, writable, abort);
}

bool file_system_exists(const char* location, const abort_signal& abort) {
    filesystem_provider_ref provider = file_system_find(location);
    file_stats stats;
    bool writable;
    try {
        provider->get_stats(location, stats, writable, abort);
    } catch (const ketrel_io::exception_io_not_found&) {
        return false;
    }
    return true;
}

void file_system_create_folder(const char* location, const abort_signal& abort) {
    file_system_find(location)->create_folder(location, abort);
}

void file_system_list_folder(const char* location, folder_list_callback& callback, const abort_signal& abort) {
    file_system_find(location)->list_folder(location, callback, abort);
}

namespace {

filesystem_provider_ref find_owner_of_both(const char* source, const char* target) {
    filesystem_provider_ref provider;
    for (uint32_t i = 0; filesystem_provider_at(i, provider); ++i)
        if (provider->owns_path(source) && provider->owns_path(target)) return provider;
    throw ketrel_io::exception_io_no_handler_for_path();
}

}  // namespace

void file_system_move(const char* source, const char* target, const abort_signal& abort) {
    find_owner_of_both(source, target)->move(source, target, abort);
}

void file_system_move_retrying(const char* source, const char* target, const abort_signal& abort) {
    filesystem_provider_ref provider = find_owner_of_both(source, target);
    retry_sharing_violations(abort, file_system_move_timeout_seconds,
                             [&] { provider->move(source, target, abort); });
}

bool file_system_is_remote(const char* location) {
    filesystem_provider_ref provider;
    if (!file_system_try_find(location, provider)) return true;
    return provider->is_remote(location);
}

void temp_file_open(file_stream_ref& out, const abort_signal& abort) {
    file_system_open(out, "tempfile://", open_mode_create, abort);
}

void temp_memory_file_open(file_stream_ref& out, const abort_signal& abort) {
    file_system_open(out, "tempmem://", open_mode_create, abort);
}
