#include "metadata/title_formatting/title_paths.h"

uint32_t title_path_name_start(const char* text, uint32_t length) {
    for (uint32_t i = length; i > 0; --i)
        if (title_path_is_separator(text[i - 1])) return i;
    return 0;
}

void title_path_append_filename(kpl::utf8_string& out, const char* text, uint32_t length) {
    const uint32_t name = title_path_name_start(text, length);
    uint32_t query = name;
    while (query < length && text[query] != '?') ++query;
    uint32_t dot = query;
    for (uint32_t i = name; i < query; ++i)
        if (text[i] == '.') dot = i;
    if (dot == query || dot == name) dot = length;
    out.append(text + name, dot - name);
}
