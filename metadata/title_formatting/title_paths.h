#pragma once
// Path pieces shared by the path functions ($filename, $directory, ...) and the built-in fields of a
// track ("filename", "directory", ...). A separator is one of '/', '\', ':' and '|'; the texts are
// display paths, so a "file://" prefix never reaches them.
//
//     title_path_name_start("C:\\Music\\a.flac", 15)   9  (the byte after the last separator)
//     title_path_append_filename(out, "C:\\Music\\a.b.flac", 17)   appends "a.b"
//     title_path_append_filename(out, "C:\\.hidden", 10)           appends ".hidden"
//     title_path_append_filename(out, "x/a.php?id=1.2", 14)        appends "a"

#include <cstdint>

#include "foundation/kpl/string.h"

inline bool title_path_is_separator(char c) { return c == '/' || c == '\\' || c == ':' || c == '|'; }

// The offset just after the last separator in the first `length` bytes; 0 when there is none.
uint32_t title_path_name_start(const char* text, uint32_t length);

// Appends the file name without its extension: the part after the last separator, up to the last '.'
// that comes before any '?'; the whole part when there is no such dot or the name starts with it.
void title_path_append_filename(kpl::utf8_string& out, const char* text, uint32_t length);
