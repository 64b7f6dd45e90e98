// Placeholder of the preferences dialog until it exists: it never opens, so there is never one to destroy.
#include "ui/preferences_dialog.h"

namespace preferences_dialog {

void show_page(const kpl::guid&) {}
void destroy_if_open() {}

}  // namespace preferences_dialog
