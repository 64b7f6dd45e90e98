#include "foundation/fs/local_filesystem.h"

#include <windows.h>

#include <cstring>

#include "foundation/fs/disk_file.h"
#include "foundation/fs/local_path.h"
#include "foundation/fs/location_text.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/path_names.h"
#include "foundation/kpl/utf8.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/system_paths.h"
#include "foundation/win32/text_nocase.h"
#include "foundation/win32/win_string.h"

namespace {

uint64_t filetime_value(const FILETIME& t) {
    return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

[[noreturn]] void throw_last_io_error() { throw_win32_io_error(GetLastError()); }

bool is_dots_name(const wchar_t* name) {
    for (; *name; ++name)
        if (*name != L'.' && *name != L'/' && *name != L'\\') return false;
    return true;
}

}  // namespace

namespace local_filesystem {

void open(const abort_signal& abort, const char* location, file_stream_ref& out, uint32_t mode) {
    abort.check();
    DWORD access, disposition, share;
    switch (mode) {
    case open_mode_read:
        access = GENERIC_READ;
        disposition = OPEN_EXISTING;
        share = FILE_SHARE_READ;
        break;
    case open_mode_modify:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        share = 0;
        break;
    case open_mode_create:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        share = 0;
        break;
    default:
        throw kpl::exception_invalid_params();
    }
    kpl::array<wchar_t> path;
    local_path::to_long_path_wide(location, path);
    HANDLE file = CreateFileW(path.data(), access, share, nullptr, disposition, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw_last_io_error();
    out = disk_file::create(file, mode != open_mode_read);
}

void open_read_synchronous(const abort_signal& abort, const char* location, file_stream_ref& out) {
    abort.check();
    kpl::array<wchar_t> path;
    local_path::to_long_path_wide(location, path);
    HANDLE file = CreateFileW(path.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw_last_io_error();
    out = disk_file::create_synchronous(file);
}

bool canonicalize(const char* location, kpl::utf8_string& out, bool true_case_only) {
    const char* path = location;
    if (std::strncmp(path, "file:///", 8) == 0)
        path += 8;
    else
        strip_file_scheme(path);
    if (std::strstr(path, "://")) return false;

    kpl::utf8_string_pow2 full;
    if (true_case_only) {
        full = path;
    } else {
        kpl::utf8_string_pow2 long_path;
        local_path::to_long_path(path, long_path);
        if (!local_path::full_path(long_path.c_str(), full) && !local_path::full_path(path, full)) full = path;
    }

    kpl::utf8_string_pow2 spelled;
    if (!path_true_case(full.c_str(), spelled)) return false;
    kpl::utf8_string_pow2 result("file://");
    result << spelled;
    out.set_string(result);
    return true;
}

void remove(const char* location, const abort_signal& abort) {
    abort.check();
    kpl::array<wchar_t> path;
    local_path::to_long_path_wide(location, path);
    DWORD attributes = GetFileAttributesW(path.data());
    if (attributes == INVALID_FILE_ATTRIBUTES) throw_last_io_error();
    BOOL ok = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.data()) : DeleteFileW(path.data());
    if (!ok) throw_last_io_error();
}

void create_folder(const char* location) {
    kpl::array<wchar_t> path;
    local_path::to_long_path_wide(location, path);
    if (!CreateDirectoryW(path.data(), nullptr)) throw_last_io_error();
}

void get_stats(const char* location, file_stats& out, bool& writable) {
    kpl::array<wchar_t> path;
    local_path::to_long_path_wide(location, path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.data(), GetFileExInfoStandard, &data)) throw_last_io_error();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        out.size = 0;
    else
        out.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    out.timestamp = filetime_value(data.ftLastWriteTime);
    writable = !(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
}

file_stats get_stats(const char* location) {
    file_stats stats;
    bool writable;
    get_stats(location, stats, writable);
    return stats;
}

namespace {

class local_disk_provider final : public service_static<filesystem_provider> {
public:
    bool canonicalize(const char* location, kpl::utf8_string& out) override {
        return local_filesystem::canonicalize(location, out, false);
    }

    bool owns_path(const char* location) override {
        if (std::strncmp(location, "file://", 7) == 0) return true;
        return !std::strchr(location, '/') && !std::strchr(location, '|');
    }

    bool display_path(const char* location, kpl::utf8_string& out) override {
        return file_url_to_native(location, out);
    }

    void open(file_stream_ref& out, const char* location, uint32_t mode, const abort_signal& abort) override {
        abort.check();
        local_filesystem::open(abort, location, out, mode);
    }

    void remove(const char* location, const abort_signal& abort) override {
        local_filesystem::remove(location, abort);
    }

    void move(const char* source, const char* target, const abort_signal& abort) override {
        abort.check();
        kpl::array<wchar_t> from, to;
        local_path::to_long_path_wide(source, from);
        local_path::to_long_path_wide(target, to);
        if (!MoveFileExW(from.data(), to.data(), MOVEFILE_COPY_ALLOWED)) throw_last_io_error();
    }

    bool is_remote(const char*) override { return false; }

    void get_stats(const char* location, file_stats& out, bool& writable, const abort_signal& abort) override {
        abort.check();
        local_filesystem::get_stats(location, out, writable);
    }

    bool make_relative(const char* location, const char* base, kpl::utf8_string& out) override {
        const char* rest = location;
        const char* base_path = base;
        if (!strip_file_scheme(rest) || !strip_file_scheme(base_path)) return false;
        // The folder part is measured on the whole base, "file://" included, and compared against the
        // whole location, so the two prefixes line up.
        uint32_t folder_length = static_cast<uint32_t>(kpl::filename_offset(base));
        if (!utf8_starts_with_nocase(location, base, folder_length)) return false;
        size_t characters = kpl::utf8_char_count(base, folder_length);
        size_t offset = kpl::utf8_offset_of_char(location, characters);
        kpl::utf8_string_pow2 result("file://");
        result << (location + offset);
        out.set_string(result);
        return true;
    }

    bool resolve_relative(const char* relative, const char* base, kpl::utf8_string& out) override {
        if (!strip_file_scheme(relative)) return false;
        kpl::utf8_string_pow2 result(base, static_cast<uint32_t>(kpl::filename_offset(base)));
        result << relative;
        out.set_string(result);
        return true;
    }

    void create_folder(const char* location, const abort_signal& abort) override {
        abort.check();
        local_filesystem::create_folder(location);
    }

    void list_folder(const char* location, folder_list_callback& callback, const abort_signal& abort) override;

    bool open_before_probe() override { return false; }
};

void local_disk_provider::list_folder(const char* location, folder_list_callback& callback,
                                      const abort_signal& abort) {
    const char* native = location;
    if (!strip_file_scheme(native)) throw ketrel_io::exception_io();
    abort.check();

    kpl::utf8_string_pow2 folder(native);
    kpl::path_add_trailing_backslash(folder);
    kpl::utf8_string_pow2 pattern(folder);
    pattern << "*.*";
    kpl::array<wchar_t> wide_pattern;
    local_path::to_long_path_wide(pattern.c_str(), wide_pattern);

    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(wide_pattern.data(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        kpl::array<wchar_t> wide_folder;
        local_path::to_long_path_wide(native, wide_folder);
        DWORD attributes = GetFileAttributesW(wide_folder.data());
        bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        bool is_folder = exists && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        // Nothing matched in an existing folder: it is empty (a drive's root has no "." entries).
        if (error == ERROR_FILE_NOT_FOUND && is_folder) return;
        // A file where the folder should be is no folder, whichever error the system reports for it.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY || (exists && !is_folder))
            throw ketrel_io::exception_io_not_found();
        throw_win32_io_error(error);
    }

    struct search_closer {
        HANDLE handle;
        ~search_closer() { FindClose(handle); }
    } closer{search};

    do {
        bool is_folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (is_folder && is_dots_name(entry.cFileName)) continue;
        kpl::utf8_string_pow2 entry_location("file://");
        entry_location << folder << utf16_to_utf8_string(entry.cFileName);
        file_stats stats;
        if (!is_folder) {
            stats.size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            stats.timestamp = filetime_value(entry.ftLastWriteTime);
        }
        if (!callback.on_entry(*this, abort, entry_location.c_str(), is_folder, stats)) break;
    } while (FindNextFileW(search, &entry));
}

service_factory_single<local_disk_provider, filesystem_provider> g_local_disk_provider;

}  // namespace

filesystem_provider& provider() { return g_local_disk_provider.instance(); }

}  // namespace local_filesystem
