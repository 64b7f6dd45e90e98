#include "foundation/fs/location_text.h"

#include <windows.h>

#include <cstring>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/path_names.h"
#include "foundation/win32/md5_hasher.h"

namespace {

const char file_scheme[] = "file://";
const size_t file_scheme_length = sizeof(file_scheme) - 1;

}  // namespace

bool strip_file_scheme(const char*& text) {
    if (std::strncmp(text, file_scheme, file_scheme_length) != 0) return false;
    text += file_scheme_length;
    return true;
}

bool file_url_to_native(const char* location, kpl::utf8_string& out) {
    if (!strip_file_scheme(location)) return false;
    out.assign(location);
    return true;
}

bool file_url_to_long_path(const char* location, kpl::utf8_string& out) {
    if (!strip_file_scheme(location)) return false;
    if (location[0] == '\\' && location[1] == '\\') {
        out.assign(location);
    } else {
        kpl::utf8_string_pow2 long_path("\\\\?\\");
        long_path.append(location);
        out.set_string(long_path);
    }
    return true;
}

void temp_file_name_for(kpl::utf8_string& out, const char* target) {
    static const char name_salt[] = "retagging temporary file";
    md5_hasher hasher;
    hasher.add(target, std::strlen(target));
    hasher.add("tmp", 3);
    hasher.add(name_salt, sizeof(name_salt) - 1);
    md5_digest digest = hasher.finish();
    char hex[33];
    kpl::format_hex_bytes(digest.bytes, hex);

    kpl::utf8_string_pow2 name(target, static_cast<uint32_t>(kpl::filename_offset(target)));
    name << "temp-" << hex << ".tmp";
    out.set_string(name);
}

uint64_t current_filetime() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
