#pragma once
// The preferences dialog as the shell reaches it (main thread).
//
//     preferences_dialog::show_page(kpl::guid_null);   // opens it at its default page, or brings it forward
//     preferences_dialog::destroy_if_open();          // shut-down: a dialog still open loses its window

#include "foundation/kpl/guid.h"

namespace preferences_dialog {

void show_page(const kpl::guid& page);
void destroy_if_open();

}  // namespace preferences_dialog
