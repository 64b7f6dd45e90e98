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

int run_message_loop();
