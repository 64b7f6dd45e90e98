#pragma once
// Install to a removable medium: a four-page wizard that copies the running program into a folder and sets
// the copy up for portable use.
//
//     install_wizard::open(main_window);     // modeless; the wizard deletes itself when its window goes
//
//     install_portable_copy("E:\\Music", "C:\\Program Files\\Vorn\\vorn.exe", abort_never);
//         // E:\Music\Vorn.exe, the hidden markers Vorn.exe.localconfig.opt and Vorn.exe.locallibrary.opt,
//         // the hidden 66-byte autorun.inf and the hidden folder vorn-configuration (kept when it exists)
//
// The copy runs on a worker thread while page 3 ("Working...") is shown; page 4 says "Installation
// complete." or "Installation failed." with the reason. An installation is reported complete only when
// every file was written completely.

#include <windows.h>

#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"

// The content of "autorun.inf" (66 bytes, no terminating zero).
constexpr const char install_autorun_text[] = "[autorun]\r\nopen=vorn.exe\r\nicon=vorn.exe\r\nlabel=Vorn Audio Player\r\n";

// The install work into `destination` (a native folder path) from the program file `source`. Throws
// exception_win32 for a failed copy, marker, autorun.inf (also when it was written only in part) or
// folder; an existing file (not a folder) named "vorn-configuration" is reported as a failure, since the
// installed copy could not keep its profile there. Checks `abort` after the last step.
void install_portable_copy(const char* destination, const char* source, const abort_signal& abort);

namespace install_wizard {

// Opens a new wizard owned by the window. exception_win32 when its dialog cannot be made.
HWND open(HWND owner);

}  // namespace install_wizard
