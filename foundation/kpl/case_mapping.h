#pragma once
// Letter case through the platform's mapping (CharLowerBuffW / CharUpperBuffW) for characters below
// U+10000; other code points are left as they are. ASCII letters take the direct path.
//
//     kpl::codepoint_to_lower(0xC9) == 0xE9            (É -> é)
//     kpl::utf8_append_upper(out, "\xC3\xA9t\xC3\xA9")    appends "ÉTÉ"
//     one character always maps to one character (ß stays ß)

#include "foundation/kpl/string.h"
#include "foundation/kpl/utf8.h"

#include <cstdint>

namespace kpl {

uint32_t codepoint_to_lower(uint32_t c);
uint32_t codepoint_to_upper(uint32_t c);

// Appends the text (up to length bytes or its first zero byte) in upper case; it stops at the first
// invalid UTF-8 sequence.
void utf8_append_upper(utf8_string& out, const char* text, size_t length = text_npos);

// Appends one code point as UTF-8 (nothing for values above 0x7FFFFFFF).
void string_append_codepoint(utf8_string& out, uint32_t code_point);

}  // namespace kpl
