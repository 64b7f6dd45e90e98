#pragma once
// Whole-text conversions between UTF-8, UTF-16 and the platform's code pages. UTF-8 input stops at
// its first invalid sequence, like every conversion of the program.
//
//     kpl::wide_array w;  kpl::utf8_to_wide_array(w, "caf\xC3\xA9");   // L"café", 5 units
//     kpl::utf8_string_from_utf16(L"caf\xE9")                          // "café"
//     kpl::array<char> b; kpl::utf8_to_codepage(b, "caf\xC3\xA9", kpl::text_npos, 28591);
//                                                 // "caf\xE9" and a terminator (ISO-8859-1)
//     kpl::ansi_to_utf8("caf\xE9", 4)             // "café" when the system code page is 1252

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/utf8.h"

#include <cstddef>

namespace kpl {

// UTF-16 text (up to length units or its first zero unit) as UTF-8.
utf8_string_tight utf8_string_from_utf16(const wchar_t* text, size_t length = text_npos);

// UTF-8 text (up to length bytes or its first zero byte) as zero-terminated UTF-16, sized exactly.
void utf8_to_wide_array(wide_array& out, const char* text, size_t length = text_npos);

// UTF-8 -> UTF-16 -> the code page (through WideCharToMultiByte), zero-terminated. Characters the
// code page lacks become its default character.
void utf8_to_codepage(array<char>& out, const char* text, size_t length, unsigned codepage);

// System-code-page text (up to max_length bytes or its first zero byte) as UTF-8.
utf8_string_tight ansi_to_utf8(const char* text, size_t max_length = text_npos);

}  // namespace kpl
