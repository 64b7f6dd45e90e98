#pragma once
// The main thread's message loop.
//
//     int exit_code = run_message_loop();   // the wParam of WM_QUIT
//
// Idle handlers run once after each burst of messages: after any message the loop re-arms its idle pass,
// except after WM_PAINT, WM_NCMOUSEMOVE, WM_MOUSEMOVE and the caret-blink timer message 0x0118, and the
// armed pass runs as soon as the queue is empty. Every message is first offered to pretranslate_message
// (message filters, modeless dialogs). Before each message the loop asserts the main thread and that no
// playback-listener notification is being dispatched. GetMessageW failing throws exception_win32.

#include <windows.h>

int run_message_loop();

// One message as the loop handles it: offered to pretranslate_message, then, unless that consumed it,
// TranslateMessage and DispatchMessageW.
void dispatch_message(MSG& msg);

// For loops of their own that wait for a result (the console tool, the window tests): dispatches every
// message now waiting on the calling thread as above, then runs the main-thread queue until it is empty.
//
//     while (!done) { dispatch_waiting_messages(); MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT); }
void dispatch_waiting_messages();
