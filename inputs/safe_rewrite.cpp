#include "inputs/safe_rewrite.h"

#include <windows.h>

#include "foundation/fs/file_system.h"
#include "foundation/fs/location_text.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/tasks/tick_timer.h"

namespace {

constexpr double local_replace_timeout = 120.0;
constexpr double remove_target_timeout = 10.0;
constexpr double remove_temporary_timeout = 1.0;
constexpr double retry_sleep = 0.01;

class handle_holder {
public:
    explicit handle_holder(HANDLE h) : m_handle(h) {}
    ~handle_holder() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    handle_holder(const handle_holder&) = delete;
    handle_holder& operator=(const handle_holder&) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

void wide_long_path(const char* location, kpl::wide_array& out) {
    kpl::utf8_string_tight path;
    file_url_to_long_path(location, path);
    kpl::utf8_to_wide_array(out, path.c_str(), path.length());
}

[[noreturn]] void throw_last_error() { throw_win32_io_error(GetLastError()); }

// One try: the temporary takes the target's creation time and attributes, then replaces it.
void replace_local(const wchar_t* target, const wchar_t* temporary) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    {
        handle_holder source(CreateFileW(target, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
        if (source.get() == INVALID_HANDLE_VALUE) throw_last_error();
        handle_holder copy(CreateFileW(temporary, GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
        if (copy.get() == INVALID_HANDLE_VALUE) throw_last_error();
        FILETIME created;
        if (!GetFileTime(source.get(), &created, nullptr, nullptr)) throw_last_error();
        if (!SetFileTime(copy.get(), &created, nullptr, nullptr)) throw_last_error();
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(source.get(), &information)) throw_last_error();
        if (!SetFileAttributesW(temporary, information.dwFileAttributes)) throw_last_error();
    }
    if (!MoveFileExW(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) throw_last_error();
}

}  // namespace

safe_rewrite::safe_rewrite(const char* target) : m_target(target) {}

bool safe_rewrite::begin(file_stream_ref& out, const abort_signal& abort) {
    if (has_temporary()) throw kpl::exception_bug_check();
    kpl::utf8_string_tight path;
    temp_file_name_for(path, m_target.c_str());
    file_stream_ref file;
    try {
        file_system_open(file, path.c_str(), open_mode_create, abort);
    } catch (const ketrel_io::exception_io_denied&) {
        return false;
    }
    m_temp_path = path;
    m_temp_file = file;
    out = file;
    return true;
}

void safe_rewrite::commit(file_stream_ref& file, const abort_signal& abort) {
    if (!has_temporary()) return;
    m_temp_file.reset();
    file.reset();

    kpl::utf8_string_tight target_native, temp_native;
    bool local = file_url_to_native(m_target.c_str(), target_native) && file_url_to_native(m_temp_path.c_str(), temp_native);
    if (local) {
        kpl::wide_array target, temporary;
        wide_long_path(m_target.c_str(), target);
        wide_long_path(m_temp_path.c_str(), temporary);
        tick_timer timer;
        timer.start();
        for (;;) {
            abort.check();
            try {
                replace_local(target.c_str(), temporary.c_str());
                break;
            } catch (const ketrel_io::exception_io_sharing_violation&) {
                if (timer.query_seconds() > local_replace_timeout) throw;
            } catch (const ketrel_io::exception_io_denied&) {
                if (timer.query_seconds() > local_replace_timeout) throw;
            }
            abort.sleep(retry_sleep);
        }
    } else {
        try {
            file_system_remove_retrying(m_target.c_str(), abort, remove_target_timeout);
        } catch (...) {
            try {
                file_system_remove_retrying(m_temp_path.c_str(), abort_never, remove_temporary_timeout);
            } catch (...) {
            }
            m_temp_path = "";
            throw;
        }
        file_system_move_retrying(m_temp_path.c_str(), m_target.c_str(), abort);
    }
    m_temp_path = "";
    // The target already holds the new content: an abort now would report a change that happened as one
    // that did not, so the reopening runs to its end.
    filesystem_open_mode(file, m_target.c_str(), 2, abort_never);
}

void safe_rewrite::cancel() {
    m_temp_file.reset();
    if (m_temp_path.length() == 0) return;
    try {
        file_system_remove_retrying(m_temp_path.c_str(), abort_never, remove_temporary_timeout);
    } catch (...) {
        // The temporary may stay behind; the target is untouched either way.
    }
    m_temp_path = "";
}
