#pragma once
// app_state: the process-wide start-up state, written during start-up and read on the main thread.
//
//     if (app_state.quiet) return;                         // "/quiet": no user interface, no loop
//     kpl::utf8_string_pow2 dat(app_state.profile_folder); // "file://C:\...\Vorn Audio Player"
//
// Flags start false, handles null and the running-file handle invalid. exit_requested, restart_requested
// and shutting_down are only ever set.

#include <windows.h>

#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "playback/playback_controller.h"
#include "ui/ui_module.h"

struct app_state_record {
    // "/quiet": no user interface, no message loop, no message boxes for start-up failures.
    bool quiet = false;
    // "<program file>.localconfig.opt" exists: the profile is "vorn-configuration" beside the program.
    bool portable_configuration = false;
    // "<program file>.locallibrary.opt" exists: library folders are stored relative to the program folder.
    bool portable_library = false;
    // The profile folder has the read-only attribute: no "running" file, no saving, no crash dumps.
    bool profile_read_only = false;
    // An exit request was accepted; set before the user interface starts, it keeps it from starting.
    bool exit_requested = false;
    // An exit request in restart mode was accepted.
    bool restart_requested = false;
    // An exit request was accepted or the message loop has ended.
    bool shutting_down = false;

    HINSTANCE instance = nullptr;
    // Full path of the program file in its long form.
    kpl::utf8_string_tight program_path;
    // program_path up to and including its last backslash.
    kpl::utf8_string_tight program_folder;
    // "file://" + the profile folder path, no trailing backslash.
    kpl::utf8_string_tight profile_folder;
    // The "running" lock file: its path and its handle (INVALID_HANDLE_VALUE when not open).
    kpl::utf8_string_tight running_file;
    HANDLE running_file_handle = INVALID_HANDLE_VALUE;

    HWND hidden_window = nullptr;
    // What the user-interface module's init returned; null when no user interface runs.
    HWND main_window = nullptr;
    service_ptr<ui_module> ui;
    service_ptr<playback_controller_ext> playback;
    // The hidden window is registered as the shell hook window.
    bool shell_hook_registered = false;

    ~app_state_record();
};

extern app_state_record app_state;

// The program's module handle: app_state.instance, or the executable's when no entry point stored one.
HINSTANCE app_module_handle() noexcept;
