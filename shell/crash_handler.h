#pragma once
// The crash path and the close confirmation.
//
//     SetUnhandledExceptionFilter(&crash_exception_filter);    // start-up, once the profile is known
//     try { ... } catch (...) { crash_from_callback(); }     // at a window procedure or other callback
//     if (!confirm_close()) return false;                     // before exit, restart, end of log-on
//
// A crash writes "failure-N.dmp" (the first N from 1 whose file does not exist) into the profile folder,
// unless the profile is read-only or not chosen yet, and ends the process with a non-zero exit code (the
// structured exception's code), never through an interactive debugger, so a crash is never reported as
// success. Under a debugger the exception goes to the debugger instead and no dump is written.

#include <windows.h>

#include <cstddef>

#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"

// The process's unhandled-exception filter.
LONG WINAPI crash_exception_filter(EXCEPTION_POINTERS* exception);

// Writes the minidump for the exception into the profile folder (see above); nothing when it cannot.
void write_crash_dump(EXCEPTION_POINTERS* exception);

// The dump file name for a folder: folder + "\" (when missing) + "failure-" + n + ".dmp" with the first n
// from 1 whose file does not exist. False when the name does not fit `capacity` units. Allocates nothing.
//     with failure-1.dmp and failure-2.dmp in C:\p:  crash_dump_file_name(L"C:\\p", ...) -> L"C:\\p\\failure-3.dmp"
bool crash_dump_file_name(const wchar_t* folder, wchar_t* out, size_t capacity);

// For an exception that escaped a Win32 callback (window procedure, timer procedure, thread entry): C++
// exceptions cannot unwind through Windows frames, so it ends the process through the crash path
// (kpl::crash). Does not return.
[[noreturn]] void crash_from_callback() noexcept;

// Asks the user whether to close while operations are running; true when the program may close. With
// nothing registered it answers true at once; while a modal dialog is up it brings that dialog to the front
// and answers false without a question. Main thread.
bool confirm_close();

// The question's text: header, "\n", each distinct name (names in unsigned byte order; " (" + count + ")"
// after a name that occurs more than once) followed by "\n", then "\n" and the notice.
//     names {"Updating Files", "Removing Tags", "Updating Files"} ->
//     header "\nRemoving Tags\nUpdating Files (2)\n\n" notice
void close_confirmation_text(const kpl::string_array& names, const char* header, const char* notice,
                             kpl::utf8_string& out);
