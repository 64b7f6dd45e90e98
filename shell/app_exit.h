#pragma once
// Ending the program: the exit and restart request, and the main window's hook for the end of the Windows
// log-on.
//
//     if (app_request_exit(0)) { /* WM_QUIT is on its way */ }    // 1: restart after the shut-down
//
//     // in the main window's procedure, before its own handling:
//     LRESULT result;
//     if (end_session_hook(window, message, wparam, lparam, result)) return result;

#include <windows.h>

// mode 0 exit, 1 restart. False when the close confirmation or a shutdown_veto refuses; otherwise sets the
// flags (restart_requested for mode 1, shutting_down, exit_requested), posts WM_QUIT (to the main window
// when there is one) and answers true. Main thread.
bool app_request_exit(int mode);

// WM_QUERYENDSESSION: a refused close confirmation answers 0 (handled); otherwise the persistent state is
// saved and playback stopped (while the services run), the "running" file closed, and 1 answered
// (handled). WM_ENDSESSION: result 1, not handled. Any other message: not handled.
bool end_session_hook(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
