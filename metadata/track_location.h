#pragma once
// track_location: where a track lives: a path (UTF-8 location text such as "file://C:\Music\a.flac") and a
// subsong number (0 for a file that is a single track; cue tracks and chained streams count from 1).
//
//     track_location where("file://C:\\Music\\live.flac", 3);
//     where.get_path();      // "file://C:\Music\live.flac"
//     where.get_subsong();   // 3
//     kpl::utf8_string_pow2 text;
//     format_location_text(where, text);   // "\"C:\Music\live.flac\" / index: 3"

#include <cstdint>

#include "foundation/kpl/string.h"

class track_location {
public:
    track_location() = default;
    explicit track_location(const char* path, uint32_t subsong = 0) : m_path(path), m_subsong(subsong) {}

    // The path; "" when empty.
    const char* get_path() const { return m_path.c_str(); }
    void set_path(const char* path) { m_path.assign(path); }
    uint32_t get_subsong() const { return m_subsong; }
    void set_subsong(uint32_t subsong) { m_subsong = subsong; }

private:
    kpl::utf8_string_tight m_path;
    uint32_t m_subsong = 0;
};

// The display form of a location: a double quote, the path as the file system owning it presents it (the
// path unchanged when no file system claims it), a double quote; then " / index: " and the subsong in
// decimal when it is not 0. `out` is replaced.
void format_location_text(const track_location& location, kpl::utf8_string& out);
