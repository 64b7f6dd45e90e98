#pragma once
// Plain text on the clipboard, as UTF-8 on this side and CF_UNICODETEXT on the system's.
//
//   clipboard_set_text("Artist : Ånd");       // true when the clipboard now holds the text
//   kpl::utf8_string_pow2 text;
//   if (clipboard_get_text(text)) ...         // false: clipboard busy or holding no text
//
// The clipboard is always closed again before these return.

#include "foundation/kpl/string.h"

// Empties the clipboard and stores the text. False when the clipboard cannot be opened or the system
// refuses the data; std::bad_alloc ("bad allocation") when no memory block for the text can be had.
bool clipboard_set_text(const char* text);
// The clipboard's text, up to its first zero. False when the clipboard cannot be opened or holds no text.
bool clipboard_get_text(kpl::utf8_string& out);
