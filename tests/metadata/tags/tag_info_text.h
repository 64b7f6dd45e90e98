#pragma once
// Test helpers: a track_info as comparable text, and infos built from "name=value" lines.
//
//     info_from({"artist=A", "artist=B", "title=T"})      artist {A, B}, title T
//     meta_text(info) == "artist=A|artist=B|title=T"     fields and values in the info's order

#include <initializer_list>
#include <string>

#include "metadata/track_info.h"

namespace tag_test {

inline std::string meta_text(const track_info& info) {
    std::string out;
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) {
            if (!out.empty()) out += "|";
            out += std::string(info.meta_name(i)) + "=" + info.meta_value(i, j);
        }
    }
    return out;
}

inline std::string info_text(const track_info& info, const char* name) {
    const char* v = info.info_get_by_name(name);
    return v ? v : "";
}

// Each line "name=value" adds a value to the field of that name (made at its first line).
inline track_info_store info_from(std::initializer_list<const char*> lines) {
    track_info_store info;
    for (const char* line : lines) {
        std::string s = line;
        size_t eq = s.find('=');
        std::string name = s.substr(0, eq), value = s.substr(eq + 1);
        int32_t field = info.meta_find(name.c_str());
        if (field < 0) {
            info.meta_add(name.c_str(), track_info::npos, value.c_str(), track_info::npos);
        } else {
            info.meta_add_value(value.c_str(), static_cast<uint32_t>(field));
        }
    }
    return info;
}

}  // namespace tag_test
