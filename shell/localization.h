#pragma once
// The language table of user-visible texts.
//
//     load_language_table(0);        // start-up: 0 chooses the language automatically
//     load_language_table(0x40C);    // "/lang 0x40C"

#include <cstdint>

void load_language_table(uint32_t language_id);
