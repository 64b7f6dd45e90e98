#pragma once
// The program file, the portable markers, the profile folder and its "running" lock file.
//
//     read_program_path();        // app_state.program_path / program_folder
//     read_portable_markers();    // "<program file>.localconfig.opt", "<program file>.locallibrary.opt"
//     choose_profile_folder();    // app_state.profile_folder = "file://...\Vorn Audio Player", created
//     read_profile_read_only();
//     create_running_file();      // "<profile>\running", open (delete-on-close) until the process ends
//
// The profile is "Vorn Audio Player" in the user's application-data folder, or "vorn-configuration"
// beside the program file when the portable marker exists (or no application-data folder is known).

#include "foundation/kpl/string.h"

// The profile path (without "file://") for the inputs: `portable` or no `appdata` (null or empty) gives
// program_folder + "vorn-configuration" (program_folder ends with a backslash); otherwise appdata + "\" (when
// missing) + "Vorn Audio Player".
//     profile_path_for(false, "C:\\Users\\me\\AppData\\Roaming", "C:\\Vorn\\") -> "C:\\Users\\me\\AppData\\Roaming\\Vorn Audio Player"
//     profile_path_for(true, "C:\\Users\\me\\AppData\\Roaming", "E:\\Vorn\\")  -> "E:\\Vorn\\vorn-configuration"
kpl::utf8_string_tight profile_path_for(bool portable, const char* appdata, const char* program_folder);

// Creates one folder level unless the path already names a folder (it ends in a backslash, is a bare
// drive "X:", or has the directory attribute). Failure: exception_messagebox "Could not create profile
// directory".
void create_profile_directory(const char* path);

// True when the path names an existing file (not a folder).
bool file_exists(const char* path);

// GetModuleFileNameW in its long form (else its full form, else unchanged) into app_state.program_path,
// and app_state.program_folder.
void read_program_path();
void read_portable_markers();
// Chooses and creates the profile folder; sets app_state.profile_folder and profile_folder::set.
void choose_profile_folder();
// app_state.profile_read_only from the folder's attributes; a read-only profile also suppresses saving.
void read_profile_read_only();
// Opens the "running" lock file (skipped for a read-only profile). Failure: exception_messagebox "Could
// not access profile folder".
void create_running_file();
// Closes the "running" file (it disappears) and marks the handle invalid.
void close_running_file() noexcept;

// The profile folder without "file://".
const char* profile_native_path() noexcept;
