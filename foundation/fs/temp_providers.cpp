#include "foundation/fs/temp_providers.h"

#include <windows.h>

#include <cstring>

#include "foundation/fs/disk_file.h"
#include "foundation/fs/memory_file.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"

namespace {

// What the two scratch providers have in common: one owned location and no operations besides open.
class scratch_provider : public service_static<filesystem_provider> {
public:
    scratch_provider(const char* location, const char* display) : m_location(location), m_display(display) {}

    bool owns_path(const char* location) override { return std::strcmp(location, m_location) == 0; }

    bool canonicalize(const char* location, kpl::utf8_string& out) override {
        if (!owns_path(location)) return false;
        out.assign(location);
        return true;
    }

    bool display_path(const char* location, kpl::utf8_string& out) override {
        if (!owns_path(location)) return false;
        out.assign(m_display);
        return true;
    }

    void remove(const char*, const abort_signal&) override { throw ketrel_io::exception_io_not_found(); }
    void move(const char*, const char*, const abort_signal&) override { throw ketrel_io::exception_io_not_found(); }
    bool is_remote(const char*) override { return false; }
    void get_stats(const char*, file_stats&, bool&, const abort_signal&) override {
        throw ketrel_io::exception_io_not_found();
    }
    bool make_relative(const char*, const char*, kpl::utf8_string&) override { return false; }
    bool resolve_relative(const char*, const char*, kpl::utf8_string&) override { return false; }
    void create_folder(const char*, const abort_signal&) override { throw ketrel_io::exception_io_not_found(); }
    void list_folder(const char*, folder_list_callback&, const abort_signal&) override {
        throw ketrel_io::exception_io_not_found();
    }
    bool open_before_probe() override { return false; }

private:
    const char* m_location;
    const char* m_display;
};

class temp_file_provider final : public scratch_provider {
public:
    temp_file_provider() : scratch_provider("tempfile://", "<temporary file>") {}

    void open(file_stream_ref& out, const char* location, uint32_t mode, const abort_signal& abort) override {
        abort.check();
        if (mode != open_mode_create) throw ketrel_io::exception_io_denied();
        if (!owns_path(location)) throw ketrel_io::exception_io();

        wchar_t folder[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        if (length == 0 || length > MAX_PATH) throw_win32_io_error(length ? ERROR_BUFFER_OVERFLOW : GetLastError());
        wchar_t name[MAX_PATH];
        if (!GetTempFileNameW(folder, L"omg", 0, name)) throw_win32_io_error(GetLastError());
        HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OVERLAPPED,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            DeleteFileW(name);  // the empty file GetTempFileNameW made
            throw_win32_io_error(error);
        }
        out = disk_file::create(file, true);
    }
};

class temp_memory_provider final : public scratch_provider {
public:
    temp_memory_provider() : scratch_provider("tempmem://", "<temporary memory space>") {}

    void open(file_stream_ref& out, const char* location, uint32_t mode, const abort_signal& abort) override {
        if (mode != open_mode_create) throw ketrel_io::exception_io();
        abort.check();
        if (!owns_path(location)) throw ketrel_io::exception_io();
        out = memory_file::create();
    }
};

service_factory_single<temp_file_provider, filesystem_provider> g_temp_file_provider;
service_factory_single<temp_memory_provider, filesystem_provider> g_temp_memory_provider;

}  // namespace

filesystem_provider& temp_file_system::provider() { return g_temp_file_provider.instance(); }
filesystem_provider& temp_memory_system::provider() { return g_temp_memory_provider.instance(); }
