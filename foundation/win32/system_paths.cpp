#include "foundation/win32/system_paths.h"

#include <cstring>
#include <vector>

#include "foundation/win32/directory_enum.h"
#include "foundation/win32/text_nocase.h"
#include "foundation/win32/win_string.h"

void get_program_path(kpl::utf8_string& out) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length < buffer.size()) {
            out = utf16_to_utf8_string(buffer.data(), length);
            return;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void get_command_line(kpl::utf8_string& out) { out = utf16_to_utf8_string(GetCommandLineW()); }

bool get_appdata_folder(kpl::utf8_string& out) {
    const DWORD needed = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
    if (needed == 0) return false;
    std::vector<wchar_t> buffer(needed + 1);
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", buffer.data(), DWORD(buffer.size()));
    if (length == 0 || length >= buffer.size()) return false;
    out = utf16_to_utf8_string(buffer.data(), length);
    return true;
}

bool get_temp_folder(kpl::utf8_string& out) {
    wchar_t buffer[261];
    const DWORD length = GetTempPathW(261, buffer);
    if (length == 0 || length >= 261) return false;
    out = utf16_to_utf8_string(buffer, length);
    return true;
}

bool get_temp_file_name(const char* folder, const char* prefix, unsigned unique, kpl::utf8_string& out) {
    if (folder == nullptr || prefix == nullptr) return false;
    wchar_t buffer[MAX_PATH + 1] = {};
    if (GetTempFileNameW(win_string_param(folder).get(), win_string_param(prefix).get(), unique, buffer) == 0)
        return false;
    out = utf16_to_utf8_string(buffer);
    return true;
}

DWORD file_get_attributes(const char* path) { return GetFileAttributesW(win_string_param(path).get()); }

HANDLE file_create_raw(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return CreateFileW(win_string_param(path).get(), access, share, nullptr, disposition, flags, nullptr);
}

bool file_delete_native(const char* path) { return DeleteFileW(win_string_param(path).get()) != FALSE; }

bool set_current_directory(const char* path) {
    return SetCurrentDirectoryW(win_string_param(path).get()) != FALSE;
}

bool get_current_directory(kpl::utf8_string& out) {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(needed != 0 ? needed + 1 : 261);
    const DWORD length = GetCurrentDirectoryW(DWORD(buffer.size()), buffer.data());
    if (length == 0 || length >= buffer.size()) return false;
    out = utf16_to_utf8_string(buffer.data(), length);
    return true;
}

size_t path_get_long_name(const char* path, kpl::utf8_string& out) {
    std::vector<wchar_t> buffer(4096);
    const DWORD length = GetLongPathNameW(win_string_param(path).get(), buffer.data(), DWORD(buffer.size()));
    if (length == 0 || length >= buffer.size()) return 0;
    out = utf16_to_utf8_string(buffer.data(), length);
    return length;
}

bool is_windows_vista_or_later() {
    const DWORD version = GetVersion();
    return LOBYTE(LOWORD(version)) >= 6;
}

namespace local_path {

bool full_path(const char* path, kpl::utf8_string& out) {
    const win_string_param wide(path);
    std::vector<wchar_t> buffer(1024);
    DWORD length = SearchPathW(nullptr, wide.get(), nullptr, DWORD(buffer.size()), buffer.data(), nullptr);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = SearchPathW(nullptr, wide.get(), nullptr, DWORD(buffer.size()), buffer.data(), nullptr);
    }
    if (length == 0 || length >= buffer.size()) return false;
    out = utf16_to_utf8_string(buffer.data(), length);
    return true;
}

}  // namespace local_path

namespace {

// Replaces each component of `rest` (separated by '\') that exists below `built` by its stored spelling,
// appending to `built`; from the first component not found on, the rest is appended unchanged.
// `long_prefix` turns a built path into its long form for the search.
void true_case_components(kpl::utf8_string_pow2& built, const char* rest, const char* long_prefix,
                          size_t prefix_skip) {
    const char* p = rest;
    while (*p) {
        const char* end = std::strchr(p, '\\');
        const size_t length = end ? size_t(end - p) : std::strlen(p);
        if (length == 0) break;
        kpl::utf8_string_pow2 component;
        component.append(p, length);
        kpl::utf8_string_pow2 pattern;
        pattern.append(long_prefix);
        pattern.append(built.c_str() + prefix_skip);
        pattern.append(component.c_str());
        auto entry = directory_enum::open(pattern.c_str());
        if (!entry || utf8_compare_nocase_fast(entry->name(), component.c_str()) != 0) break;
        built.append(entry->name());
        p += length;
        if (*p == '\\') {
            built.append("\\");
            ++p;
        }
    }
    built.append(p);
}

}  // namespace

bool path_true_case(const char* path, kpl::utf8_string& out) {
    if (std::strncmp(path, "\\\\?\\", 4) == 0) path += 4;
    const char c = path[0];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter && path[1] == ':' && path[2] == '\\') {
        kpl::utf8_string_pow2 built;
        const char drive[4] = {char(c >= 'a' ? c - 32 : c), ':', '\\', 0};
        built.append(drive);
        true_case_components(built, path + 3, "\\\\?\\", 0);
        out = built;
        return true;
    }
    if (path[0] == '\\' && path[1] == '\\') {
        const char* server = path + 2;
        const char* server_end = std::strchr(server, '\\');
        if (server_end == nullptr || server_end == server) return false;
        const char* share = server_end + 1;
        if (*share == 0 || *share == '\\') return false;
        const char* share_end = std::strchr(share, '\\');
        kpl::utf8_string_pow2 built;
        if (share_end == nullptr) {
            utf8_to_lower(built, path);
            out = built;
            return true;
        }
        if (share_end[1] == '\\') return false;
        utf8_to_lower(built, path, size_t(share_end - path + 1));
        // The long form of "\\server\share\x" is "\\?\UNC\server\share\x".
        true_case_components(built, share_end + 1, "\\\\?\\UNC\\", 2);
        out = built;
        return true;
    }
    return false;
}
