#pragma once
// The program's log: lines written to the debugger output only (visible under Wine with
// WINEDEBUG=+debugstr).
//
//     debug_log("Exiting (Another instance is already running)");   // the line plus "\n"
//     debug_log_text("Terminated normally.\n");                       // exactly the text
//
// A test can capture what is written in a string of its own (debug_log_capture).

#include "foundation/kpl/string.h"

// The text with "\n" appended, to the debugger output (in the system code page, as OutputDebugStringW
// would pass it on).
void debug_log(const char* text);
// The text as it is, to the debugger output.
void debug_log_text(const char* text);

// While set, everything written through debug_log_text and debug_log is also appended to `sink` (main
// thread; pass null to stop). Returns the previous sink.
kpl::utf8_string* debug_log_capture(kpl::utf8_string* sink) noexcept;
