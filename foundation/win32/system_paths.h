#pragma once
// The program's paths, folders and small file calls on native paths, with UTF-8 text on this side.
// They are for start-up and other places that run before or beside the file-system providers; ordinary
// file work goes through the providers.
//
//   kpl::utf8_string_pow2 exe;
//   get_program_path(exe);                          // "C:\Program Files\Vorn\vorn.exe"
//   kpl::utf8_string_pow2 spelled;
//   path_true_case("c:\\program files\\VORN\\new.txt", spelled);
//                                                   // true, "C:\Program Files\Vorn\new.txt": existing parts
//                                                   // take their stored spelling, the rest stays as typed

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/string.h"

// The full path of the program file.
void get_program_path(kpl::utf8_string& out);
// The command line the process was started with.
void get_command_line(kpl::utf8_string& out);
// The "APPDATA" environment variable; false when it is not set.
bool get_appdata_folder(kpl::utf8_string& out);
// The system's folder for temporary files (with its trailing backslash); false on failure.
bool get_temp_folder(kpl::utf8_string& out);
// GetTempFileNameW: a file name in the folder made of the prefix and a number (0: the system picks one and
// creates the file). False for a missing folder or prefix, or when the system refuses.
bool get_temp_file_name(const char* folder, const char* prefix, unsigned unique, kpl::utf8_string& out);

// The attributes of a path; INVALID_FILE_ATTRIBUTES with the reason in GetLastError.
DWORD file_get_attributes(const char* path);
// CreateFileW on the path; INVALID_HANDLE_VALUE with the reason in GetLastError.
HANDLE file_create_raw(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
// DeleteFileW; false with the reason in GetLastError.
bool file_delete_native(const char* path);
bool set_current_directory(const char* path);
bool get_current_directory(kpl::utf8_string& out);
// GetLongPathNameW: the long form of an existing path; answers its length in UTF-16 units, 0 on failure.
size_t path_get_long_name(const char* path, kpl::utf8_string& out);

// The canonical spelling of an absolute native path (a leading "\\?\" is dropped first):
// - drive paths get an upper-case drive letter;
// - UNC paths get a lower-case "\\server\share" (a path ending right after the share is lower-cased whole);
// - each following component that exists takes the spelling stored on disk; from the first one that does
//   not (or is a short 8.3 name, which the search reports by its long name) the rest stays as given.
// False for relative paths, a bare "X:", a UNC path without server or share, or a doubled separator after
// the share.
bool path_true_case(const char* path, kpl::utf8_string& out);

// True when the running system is Windows Vista (6.0) or later.
bool is_windows_vista_or_later();

namespace local_path {

// SearchPathW with no search path and no extension: the full path of an existing file. False when there is
// no such file.
bool full_path(const char* path, kpl::utf8_string& out);

}  // namespace local_path
