#pragma once
// The crash path and the close confirmation.
//
//     SetUnhandledExceptionFilter(&crash_exception_filter);    // start-up, once the profile is known
//     try { ... } catch (...) { crash_from_callback(); }     // at a window procedure or other callback
//     if (!confirm_close()) return false;                     // before exit, restart, end of log-on
//
// A crash ends the process with a non-zero exit code (the structured exception's code), never through an
// interactive debugger, so a crash is never reported as success.

#include <windows.h>

// The process's unhandled-exception filter.
LONG WINAPI crash_exception_filter(EXCEPTION_POINTERS* exception);

// For an exception that escaped a Win32 callback (window procedure, timer procedure, thread entry): C++
// exceptions cannot unwind through Windows frames, so it ends the process through the crash path
// (kpl::crash). Does not return.
[[noreturn]] void crash_from_callback() noexcept;

// Asks the user whether to close while operations are running; true when the program may close.
bool confirm_close();
