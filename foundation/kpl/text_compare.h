#pragma once
// Comparing and searching texts. Comparisons answer -1, 0 or 1.
//
//     kpl::strcmp("a", "\xC3\xA9")               -1   bytes as unsigned
//     kpl::compare_counted("ab", 2, "abc", 3)    -1   a prefix sorts first; bytes as signed
//     kpl::stricmp_ascii("ABC", "abd")           -1   folds A-Z only; bytes as signed, so
//     kpl::stricmp_ascii("\xC3", "a")            -1   bytes 0x80-0xFF sort before ASCII
//     kpl::stricmp_utf8("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9")   0   ("ÉTÉ" and "été")
//     kpl::find_substring("abcabc", 6, "ca", 0)  2    (-1 when absent)
//
// Counted forms take byte lengths; kpl::text_npos means "up to the terminating zero".

#include "foundation/kpl/string.h"
#include "foundation/kpl/utf8.h"

#include <cstddef>
#include <cstdint>

namespace kpl {

int strcmp(const char* a, const char* b);
inline int compare_cstr(const char* a, const char* b) { return kpl::strcmp(a, b); }
int compare_counted(const char* a, size_t length_a, const char* b, size_t length_b);

int stricmp_ascii(const char* a, const char* b);
int stricmp_ascii_counted(const char* a, size_t length_a, const char* b, size_t length_b);

// Case-insensitive per code point: each is lowered by the platform's mapping (characters below
// U+10000; others compare as they are). An invalid byte compares as its own value.
int stricmp_utf8(const char* a, const char* b);

// Comparator objects for trees and sorts.
struct stricmp_ascii_compare {
    int operator()(const char* a, const char* b) const { return stricmp_ascii(a, b); }
    int operator()(const utf8_string& a, const char* b) const { return stricmp_ascii(a.c_str(), b); }
    int operator()(const utf8_string& a, const utf8_string& b) const { return stricmp_ascii(a.c_str(), b.c_str()); }
};
struct string_compare {
    int operator()(const char* a, const char* b) const { return kpl::strcmp(a, b); }
    int operator()(const utf8_string& a, const char* b) const { return kpl::strcmp(a.c_str(), b); }
    int operator()(const utf8_string& a, const utf8_string& b) const { return kpl::strcmp(a.c_str(), b.c_str()); }
};

// First index of the byte, or -1.
ptrdiff_t find_char_counted(const char* text, size_t length, char c);
ptrdiff_t find_char_from(const char* text, char c, size_t start);
ptrdiff_t string_find_char(const utf8_string& text, char c);

// First index at or after start where the pattern occurs inside the length bytes, or -1. An empty
// pattern is found at start (when start is within the text).
ptrdiff_t find_substring(const char* text, size_t length, const char* pattern, size_t start);

// Last index of the byte, or -1; whether the text begins with the prefix (helpers of shared strings,
// which pass their text).
ptrdiff_t find_last_of(const char* text, char c);
bool starts_with(const char* text, const char* prefix);

bool string_ends_with_char(const utf8_string& text, char c);
bool has_line_break(const char* text);

// Cuts the text at its first CR or LF and appends " (...)"; false (text unchanged) when it has none.
bool cut_at_line_break(utf8_string& text);

// Replaces every byte `from` by `to`; returns the number replaced.
uint32_t string_replace_byte(utf8_string& text, char from, char to);

}  // namespace kpl
