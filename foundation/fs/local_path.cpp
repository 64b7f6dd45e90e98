#include "foundation/fs/local_path.h"

#include <windows.h>

#include <cstring>

#include "foundation/fs/location_text.h"
#include "foundation/win32/win_string.h"

namespace local_path {

void to_long_path(const char* location, kpl::utf8_string& out) {
    strip_file_scheme(location);
    if (location[0] == '\\' && location[1] == '\\') {
        out.assign(location);
        return;
    }
    kpl::utf8_string_pow2 long_path("\\\\?\\");
    long_path.append(location);
    out.set_string(long_path);
}

void to_long_path_wide(const char* location, kpl::array<wchar_t>& out) {
    kpl::utf8_string_pow2 long_path;
    to_long_path(location, long_path);
    utf8_to_wide(long_path.c_str(), out);
}

bool is_folder(const char* path) {
    strip_file_scheme(path);
    size_t length = std::strlen(path);
    if (length > 0 && path[length - 1] == '\\') return true;
    if (length == 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
        return true;
    kpl::array<wchar_t> wide;
    to_long_path_wide(path, wide);
    DWORD attributes = GetFileAttributesW(wide.data());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_file(const char* path) {
    strip_file_scheme(path);
    kpl::array<wchar_t> wide;
    utf8_to_wide(path, wide);
    DWORD attributes = GetFileAttributesW(wide.data());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace local_path
