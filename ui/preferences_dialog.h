#pragma once
// The preferences dialog as the shell reaches it (main thread): one modeless dialog at most, with a tree of
// the preferences_panel pages (ui/preferences_panel.h) and OK, Cancel and Apply.
//
//     preferences_dialog::show_page(kpl::guid_null);   // opens it (the last page shown, if any), or brings it forward
//     preferences_dialog::show_page(folders_page);     // ... at that page
//     preferences_dialog::destroy_if_open();          // shut-down: a dialog still open loses its window
//
// A failure to create the dialog throws the Win32 error.

#include <windows.h>

#include "foundation/kpl/guid.h"

namespace preferences_dialog {

void show_page(const kpl::guid& page);
void destroy_if_open();
// The open dialog's window; null when none.
HWND window();

}  // namespace preferences_dialog
