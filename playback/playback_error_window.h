#pragma once
// The "Playback error" window: a small window that does not take the focus and collects the failure
// messages of the current playback. Everything here runs on the main thread.
//
//     kpl::utf8_string_pow2 text;
//     playback_error_message(text, playback_failure_open, "Unsupported file format", 0, track);
//         // "Unable to open item for playback (Unsupported file format):\r\n" + the track's location text
//     playback_error_window_add(text.c_str());      // shown, or appended to the window that is open
//     ...
//     playback_error_window_reset_wait();           // a new start: messages may show at once again
//
// The window holds at most 33 messages, separated by an empty line; the 34th adds one "(...)" line and
// later ones are dropped. No window opens while the advanced setting "Show error message popups" is
// cleared, nor within 10 s (10000 ms of the tick count) after the user closed the window, until
// playback_error_window_reset_wait. OK, Cancel and closing destroy the window; the next message after that
// opens a new one.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/string.h"

class track_handle;

// Failure kinds of the playback engine's track failure report.
enum : int {
    playback_failure_open = 0,
    playback_failure_seek = 1,
    playback_failure_decode = 2,
    playback_failure_resume = 3,
    playback_failure_parse_info = 4,
};

// The message of a failed track into `out` (replaced): text is the failure's message, seconds the
// position (3 decimals), track the item (null: "[invalid location]"; an unknown kind names no location
// when track is null).
//     0 "Unable to open item for playback (TEXT):\r\nLOCATION"
//     1 "Unable to seek to TIME (TEXT):\r\nLOCATION"
//     2 "Decoding failure at TIME (TEXT):\r\nLOCATION"
//     3 "Unable to resume decoding at TIME (TEXT):\r\nLOCATION"
//     4 "Unable to parse file information (TEXT):\r\nLOCATION"
//     other "Unknown error (TEXT)" [":\r\nLOCATION"]
void playback_error_message(kpl::utf8_string& out, int kind, const char* text, double seconds,
                            const track_handle* track);
// "Unrecoverable playback error: " + text into `out` (replaced).
void playback_fatal_error_message(kpl::utf8_string& out, const char* text);

// Hands a message to the window (the rules above). A window that cannot be made costs only the message
// (written to the debugger output instead); playback goes on.
void playback_error_window_add(const char* message);
// Clears the closed mark: the next message may open the window at once.
void playback_error_window_reset_wait();

// Observer of every message handed to the window, shown or not (the console tool prints them); null
// removes it. One observer at a time.
using playback_error_observer = void (*)(const char* message, void* context);
void playback_error_window_set_observer(playback_error_observer observer, void* context);

// For tests: the window (null when none), its message count (0 without a window; 34 once "(...)" was
// added), and the tick source of the 10 s rule (null: GetTickCount).
HWND playback_error_window_handle();
uint32_t playback_error_window_count();
void playback_error_window_set_clock(uint32_t (*tick)());
