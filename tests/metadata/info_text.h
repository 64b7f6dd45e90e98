#pragma once
// Test helpers: a track_info written as one line of text, and an info built from such a line.
//
//     "artist=A,B;title=T"     meta fields in order, values joined by ','
//     info_from_text("artist=A,B;title=T") builds that store with meta_add / meta_add_value.

#include <string>

#include "metadata/track_info.h"

namespace metadata_test {

inline std::string meta_text(const track_info& info) {
    std::string out;
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        if (i) out += ';';
        out += info.meta_name(i);
        out += '=';
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) {
            if (j) out += ',';
            out += info.meta_value(i, j);
        }
    }
    return out;
}

inline std::string info_text(const track_info& info) {
    std::string out;
    for (uint32_t i = 0; i < info.info_count(); ++i) {
        if (i) out += ';';
        out += info.info_name(i);
        out += '=';
        out += info.info_value(i);
    }
    return out;
}

// Fields separated by ';', name and values by '=', values by ','.
inline void add_meta_text(track_info& info, const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string field = text.substr(start, end - start);
        size_t eq = field.find('=');
        std::string name = field.substr(0, eq);
        std::string values = field.substr(eq + 1);
        size_t v = 0;
        int32_t index = -1;
        for (;;) {
            size_t comma = values.find(',', v);
            std::string value = values.substr(v, comma == std::string::npos ? std::string::npos : comma - v);
            if (index < 0) {
                index = static_cast<int32_t>(info.meta_add(name.c_str(), track_info::npos, value.c_str(), track_info::npos));
            } else {
                info.meta_add_value(value.c_str(), static_cast<uint32_t>(index));
            }
            if (comma == std::string::npos) break;
            v = comma + 1;
        }
        start = end + 1;
    }
}

inline track_info_store info_from_text(const std::string& text) {
    track_info_store info;
    add_meta_text(info, text);
    return info;
}

}  // namespace metadata_test
