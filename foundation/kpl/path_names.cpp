#include "foundation/kpl/path_names.h"

#include <cstring>

namespace kpl {

const char path_separators[] = "\\/|";
const char invalid_filename_chars[] = "\\/|:<>*?\"";

namespace {

// Length of the name part of path + offset up to its first '?'.
size_t name_length(const char* name) {
    size_t n = 0;
    while (name[n] && name[n] != '?') ++n;
    return n;
}

}  // namespace

size_t filename_offset(const char* path) {
    size_t offset = 0;
    for (size_t i = 0; path[i]; ++i) {
        char c = path[i];
        if (c == '/' || c == '\\' || c == ':' || c == '|') offset = i + 1;
    }
    return offset;
}

utf8_string_tight filename_with_extension(const char* path) {
    const char* name = path + filename_offset(path);
    return utf8_string_tight(name, static_cast<uint32_t>(name_length(name)));
}

utf8_string_tight filename_without_extension(const char* path) {
    const char* name = path + filename_offset(path);
    size_t n = name_length(name);
    size_t cut = n;
    for (size_t i = n; i > 1; --i) {
        if (name[i - 1] == '.') {
            cut = i - 1;
            break;
        }
    }
    return utf8_string_tight(name, static_cast<uint32_t>(cut));
}

const char* extension_of(const char* path, char (&out)[32]) {
    out[0] = 0;
    const char* name = path + filename_offset(path);
    size_t n = name_length(name);
    const char* dot = nullptr;
    for (size_t i = 0; i < n; ++i) {
        if (name[i] == '.') dot = name + i;
    }
    if (!dot) return out;
    size_t ext = static_cast<size_t>(name + n - (dot + 1));
    if (ext >= 32) return out;
    std::memcpy(out, dot + 1, ext);
    out[ext] = 0;
    return out;
}

utf8_string_tight path_parent(const char* path) {
    ptrdiff_t last = -1;
    for (size_t i = 0; path[i]; ++i) {
        if (path[i] == '\\' || path[i] == '/' || path[i] == '|') last = static_cast<ptrdiff_t>(i);
    }
    if (last < 0) return utf8_string_tight();
    if (last > 0 && std::strchr(invalid_filename_chars, path[last - 1])) {
        if (path[last + 1] == 0) return utf8_string_tight();
        return utf8_string_tight(path, static_cast<uint32_t>(last + 1));
    }
    return utf8_string_tight(path, static_cast<uint32_t>(last));
}

}  // namespace kpl
