#pragma once
// Pieces of a path. The name part of a path starts after its last '/', '\', ':' or '|'; a '?' in it
// starts a subsong or similar suffix that is not part of the file name.
//
//     kpl::filename_with_extension("C:\\music\\a.flac?2")     "a.flac"
//     kpl::filename_without_extension("C:\\music\\a.flac?2")  "a"
//     kpl::filename_without_extension("x/.hidden")            ".hidden"  (a leading dot stays)
//     kpl::extension_of("x.flac?1", buf)                      "flac"
//     kpl::extension_of("a.b/c", buf)                         ""         (the dot is not in the name)
//     kpl::path_parent("C:\\x")                               "C:\"
//     kpl::path_parent("C:\\")                                ""
//     kpl::path_parent("a\\b\\c")                             "a\b"

#include "foundation/kpl/string.h"

#include <cstddef>

namespace kpl {

// Separators of path components, and the characters a file name cannot hold.
extern const char path_separators[];          // "\/|"
extern const char invalid_filename_chars[];   // "\/|:<>*?\""

size_t filename_offset(const char* path);

// The name part up to its first '?'.
utf8_string_tight filename_with_extension(const char* path);

// The name part up to its first '?', cut at its last '.' unless that dot is the name's first
// character.
utf8_string_tight filename_without_extension(const char* path);

// The text after the last '.' of the name part (before any '?'), into the 32-byte buffer; empty
// when there is no dot or the extension has 32 or more characters. Returns the buffer.
const char* extension_of(const char* path, char (&out)[32]);

// The folder part: empty when no '\', '/' or '|' occurs; when the last such separator follows a
// character of invalid_filename_chars (as after "C:") the text up to and including it, or empty when
// nothing follows it; otherwise the text before the last separator.
utf8_string_tight path_parent(const char* path);

}  // namespace kpl
