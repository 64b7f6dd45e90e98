#include "shell/profile_setup.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "shell/app_state.h"

namespace {

const char k_file_scheme[] = "file://";

kpl::wide_array wide(const char* text) {
    kpl::wide_array out;
    kpl::utf8_to_wide_array(out, text);
    return out;
}

DWORD attributes_of(const char* path) { return GetFileAttributesW(wide(path).c_str()); }

// The application-data folder: the shell's, else the environment variable APPDATA; empty when neither.
kpl::utf8_string_tight application_data_folder() {
    wchar_t buffer[261] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, buffer)) && buffer[0]) {
        return kpl::utf8_string_from_utf16(buffer);
    }
    DWORD needed = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (needed == 0) return {};
    kpl::wide_array value;
    value.set_count(needed);
    DWORD got = GetEnvironmentVariableW(L"APPDATA", value.data(), needed);
    if (got == 0 || got >= needed) return {};
    return kpl::utf8_string_from_utf16(value.c_str());
}

bool ends_with_backslash(const char* text) {
    size_t n = std::strlen(text);
    return n > 0 && text[n - 1] == '\\';
}

}  // namespace

kpl::utf8_string_tight profile_path_for(bool portable, const char* appdata, const char* program_folder) {
    kpl::utf8_string_pow2 path;
    if (!portable && appdata && appdata[0]) {
        path << appdata;
        if (!ends_with_backslash(appdata)) path << "\\";
        path << "Vorn Audio Player";
    } else {
        path << program_folder << "vorn-configuration";
    }
    return kpl::utf8_string_tight(path);
}

void create_profile_directory(const char* path) {
    size_t n = std::strlen(path);
    bool bare_drive = n == 2 && path[1] == ':';
    if (ends_with_backslash(path) || bare_drive) return;
    DWORD attributes = attributes_of(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    if (!CreateDirectoryW(wide(path).c_str(), nullptr)) throw exception_messagebox("Could not create profile directory");
}

bool file_exists(const char* path) {
    DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void read_program_path() {
    kpl::wide_array module;
    for (DWORD size = 256;; size *= 2) {
        module.set_count(size);
        DWORD n = GetModuleFileNameW(nullptr, module.data(), size);
        if (n == 0) kpl::crash();
        if (n < size) break;
    }
    kpl::wide_array resolved;
    resolved.set_count(4096);
    DWORD n = GetLongPathNameW(module.c_str(), resolved.data(), 4096);
    if (n == 0 || n >= 4096) n = GetFullPathNameW(module.c_str(), 4096, resolved.data(), nullptr);
    const wchar_t* path = (n > 0 && n < 4096) ? resolved.c_str() : module.c_str();
    app_state.program_path = kpl::utf8_string_from_utf16(path);

    const char* text = app_state.program_path.c_str();
    const char* last = std::strrchr(text, '\\');
    app_state.program_folder.assign(text, last ? static_cast<uint32_t>(last - text + 1) : 0);
}

void read_portable_markers() {
    kpl::utf8_string_pow2 marker(app_state.program_path);
    marker << ".localconfig.opt";
    app_state.portable_configuration = file_exists(marker.c_str());
    marker = app_state.program_path;
    marker << ".locallibrary.opt";
    app_state.portable_library = file_exists(marker.c_str());
}

void choose_profile_folder() {
    kpl::utf8_string_tight appdata;
    if (!app_state.portable_configuration) appdata = application_data_folder();
    kpl::utf8_string_tight path = profile_path_for(app_state.portable_configuration, appdata.c_str(),
                                                   app_state.program_folder.c_str());
    kpl::utf8_string_pow2 url(k_file_scheme);
    url << path;
    app_state.profile_folder = url;
    profile_folder::set(url.c_str());
    create_profile_directory(path.c_str());
}

const char* profile_native_path() noexcept {
    const char* url = app_state.profile_folder.c_str();
    size_t n = sizeof(k_file_scheme) - 1;
    return std::strncmp(url, k_file_scheme, n) == 0 ? url + n : url;
}

void read_profile_read_only() {
    DWORD attributes = attributes_of(profile_native_path());
    app_state.profile_read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    service_registry::set_saving_suppressed(app_state.profile_read_only);
}

void create_running_file() {
    if (app_state.profile_read_only) return;
    kpl::utf8_string_pow2 path(profile_native_path());
    path << "\\running";
    app_state.running_file = path;
    HANDLE handle = CreateFileW(wide(path.c_str()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw exception_messagebox("Could not access profile folder");
    app_state.running_file_handle = handle;
}

void close_running_file() noexcept {
    if (app_state.running_file_handle != INVALID_HANDLE_VALUE) CloseHandle(app_state.running_file_handle);
    app_state.running_file_handle = INVALID_HANDLE_VALUE;
}
