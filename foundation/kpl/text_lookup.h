#pragma once
// The source of user-visible texts by id for the base library (the I/O exception texts). The shell's
// language table plugs itself in once it is loaded; until then, and for any id the source lacks, texts
// are empty.
//
//     static bool english(const char* id, kpl::utf8_string& out) { ... }
//     kpl::set_text_lookup(&english);
//     kpl::utf8_string_pow2 t; kpl::lookup_text("exception_io_denied", t);   // "Access denied"

#include "foundation/kpl/string.h"

namespace kpl {

// Fills `out` with the text of `id` and answers true, or answers false when the id is unknown. Must not
// throw; called on any thread.
using text_lookup_function = bool (*)(const char* id, utf8_string& out);

// Installs the process-wide source (null removes it) and returns the previous one.
text_lookup_function set_text_lookup(text_lookup_function source) noexcept;

// The text of `id` into `out`; "" (and false) when no source is installed or the id is unknown.
bool lookup_text(const char* id, utf8_string& out) noexcept;

}  // namespace kpl
