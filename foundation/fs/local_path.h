#pragma once
// Local paths: the long form every Windows call of the local disk receives, and folder and file tests.
//
// Locations of the local disk are "file://" + a native path; a bare native path is taken as well.
// The long form strips "file://" and puts "\\?\" in front, except before a path that already begins
// with "\\" (UNC, or already long), which stays as it is:
//
//   to_long_path("file://C:\\Music\\a.flac")   -> "\\?\C:\Music\a.flac"
//   to_long_path("C:\\Music")                  -> "\\?\C:\Music"
//   to_long_path("\\\\server\\share\\a")        -> "\\server\share\a"
//   is_folder("file://C:\\Missing\\")           -> true: a trailing '\' names a folder, existing or not
//   is_folder("D:")                            -> true: a bare drive

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"

namespace local_path {

void to_long_path(const char* location, kpl::utf8_string& out);
// The long form as zero-terminated UTF-16, ready for a Windows call.
void to_long_path_wide(const char* location, kpl::array<wchar_t>& out);

// True when the path (optional "file://") ends in '\', is a bare drive ("X:"), or is an existing folder.
bool is_folder(const char* path);
// True when the path's attributes can be read and are not a folder's. The path is used as given (after
// "file://"), not in its long form.
bool is_file(const char* path);

}  // namespace local_path
