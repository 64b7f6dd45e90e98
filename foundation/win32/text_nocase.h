#pragma once
// Case-insensitive handling of UTF-8 text for the user interface.
//
// Folding: characters below 128 fold 'A'..'Z' <-> 'a'..'z' directly; other characters of the Basic
// Multilingual Plane go through the system's lower- and upper-case mapping one character at a time;
// characters beyond it stay as they are. Invalid UTF-8 ends a text, like its terminator.
//
//   utf8_compare_nocase_fast("Abc", "aBC")             -> 0
//   utf8_starts_with_nocase("Über alles", "üB", 3)     -> true
//   utf8_replace_nocase(out, "aAa", "a", "bb")         -> 3, out += "bbbbbb"
//   utf8_to_upper(out, "straße")                       -> out += the system's upper case of each letter

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/string.h"

uint32_t unicode_char_to_lower(uint32_t c);
uint32_t unicode_char_to_upper(uint32_t c);

// Locale-aware order for sorting shown texts: at the first pair of characters that differ, the system's
// case-insensitive comparison of the two characters decides; equal texts give 0. The sign is the answer.
int utf8_compare_nocase(const char* a, const char* b);
// Fast order: characters compared by their lower-cased code points. Answers -1, 0 or 1.
int utf8_compare_nocase_fast(const char* a, const char* b);
// utf8_compare_nocase_fast over counted texts; a length of size_t(-1) means up to the terminator.
int utf8_compare_nocase_len(const char* a, size_t length_a, const char* b, size_t length_b);
// utf8_compare_nocase_fast over at most the first n characters of each text.
int utf8_compare_nocase_n(const char* a, const char* b, size_t n);
// True when the text starts with the first prefix_length bytes of prefix (size_t(-1): all of it),
// compared without regard to case.
bool utf8_starts_with_nocase(const char* text, const char* prefix, size_t prefix_length = size_t(-1));

// Appends text to out with every case-insensitive occurrence of pattern replaced, scanning left to right
// without overlaps; answers the number of replacements. An empty pattern appends nothing and answers 0.
size_t utf8_replace_nocase(kpl::utf8_string& out, const char* text, const char* pattern, const char* replacement);

// Append the lower- or upper-cased text (up to n bytes, or its terminator) to out.
void utf8_to_lower(kpl::utf8_string& out, const char* text, size_t n = size_t(-1));
void utf8_to_upper(kpl::utf8_string& out, const char* text, size_t n = size_t(-1));
