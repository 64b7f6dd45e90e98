#pragma once
// Starting the user-interface module: the first ui_module whose get_guid is the program's own module GUID
// creates the main window.
//
//     start_user_interface();   // app_state.ui and app_state.main_window, or exception_messagebox
//     stop_user_interface();    // its shutdown; app_state.ui and main_window forgotten

// None found: exception_messagebox "No user interface modules installed". Its init returning no window:
// exception_messagebox "Failed to initialize user interface, exiting.". The hidden window is registered as
// the shell hook window first (when it exists and is not yet).
void start_user_interface();
// When a user interface runs: its shutdown, then app_state.ui released and main_window forgotten.
void stop_user_interface();
