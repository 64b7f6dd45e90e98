#pragma once
// The program's process entry, its start-up and shut-down, and the main loop in between.
//
//     int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return app_entry(instance); }
//
// Start-up order (each step's undo runs, newest first, when a later step fails, and the same undo steps
// form the normal shut-down):
//   command line; OLE (undo: OleUninitialize); "/quiet"; program path; portable markers; profile folder;
//   read-only attribute; crash filter; language table ("/lang"); single instance (undo: release);
//   "running" file, common controls, separator class; service registry with the persistent_state loads
//   (undo: release the table); hidden window (undo: drain the queue twice, destroy the window); playback
//   start-up (undo armed before it: the play order's shut_down; after it: release_engine); media library
//   (undo: unload); user interface unless "/quiet" or an exit was already requested ("/hide" minimises
//   it) (undo: its shutdown, drain the queue); the own command line; startup_shutdown_hook start (undo:
//   playback's stop_for_shutdown, the persistent_state save when the loop ran, the hooks' stop); current
//   folder = program folder; the message loop (not with "/quiet").
// After the loop a still open preferences dialog is destroyed, shutting_down is set and the undo steps run;
// a requested restart then starts the program file again without arguments (also when the shut-down
// ends in an exception).
//
// Exit codes: the WM_QUIT wParam after the loop, 0 with "/quiet", 0 for exception_shutdownrequest (debug
// line "Exiting (" + text + ")"), -1 for exception_messagebox and its kinds (debug line "Initialization
// failure : " + text, and a message box captioned "Vorn encountered an error" unless "/quiet"). Win32
// errors 8 and 14 become exception_out_of_resources "Not enough system resources available.". After a
// normal return "Terminated normally.\n" goes to the debugger output. Other exceptions are not handled and
// end the process through the crash path.

#include <windows.h>

#include "shell/startup_sequence.h"

// Process entry: error mode, floating-point mode, then app_main inside the entry's exception handlers.
int app_entry(HINSTANCE instance);

// Start-up, message loop, shut-down, for the given command line (the process's: GetCommandLineW). Returns
// the exit code; start-up failures propagate.
int app_main(HINSTANCE instance, const wchar_t* command_line);

// The entry's exception handlers around `body` (see above), including the final "Terminated normally.\n".
int run_entry_guarded(int (*body)(void* context), void* context);

// Tests: an observer told each start-up step and undo step of app_main by name (null: none). Returns the
// previous one.
startup_observer* set_startup_observer(startup_observer* observer) noexcept;
