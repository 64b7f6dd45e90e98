// Placeholder of the language table until localization exists: nothing is loaded, so every text id reads
// as the empty text.
#include "shell/localization.h"

void load_language_table(uint32_t) {}
