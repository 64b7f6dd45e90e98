#pragma once
// The hidden main-thread window: it wakes the main-thread queue and receives the shell hook's application
// commands (media keys). Class "{53229DFC-A273-45cd-A3A4-161FA9FC6414}", title "uninteresting", never
// shown; its handle is app_state.hidden_window while it exists.
//
//     hidden_window_create();     // start-up; exception_win32 when the class or window cannot be made
//     ...                         // 1201 wake-ups drain the main-thread queue
//     hidden_window_destroy();    // shut-down, after the queue was drained
//
// Other components may own timers with their own timer procedures on it (playback's position timer); those
// WM_TIMER messages never reach the window procedure.

#include <windows.h>

void hidden_window_create();
void hidden_window_destroy() noexcept;

// The registered message "SHELLHOOK".
UINT shell_hook_message() noexcept;
