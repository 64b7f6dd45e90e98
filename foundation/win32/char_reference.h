#pragma once
// The number inside an XML numeric character reference, as the XML reader finds it between '&' and ';'.
//
//   parse_char_reference("#x41", 4, v)   -> true, v = 65
//   parse_char_reference("#65", 3, v)    -> true, v = 65
//   parse_char_reference("x41", 3, v)    -> true, v = 65      (the '#' is optional)
//   parse_char_reference("#x", 2, v)     -> false             (no digits)
//   parse_char_reference("4294967296", 10, v) -> false        (beyond 32 bits)

#include <cstddef>
#include <cstdint>

// An optional '#', then 'x' or 'X' and hexadecimal digits of either case, or decimal digits, making up all
// of the length bytes. Empty digits, any other character, or a value beyond 32 bits give false and leave out
// unchanged.
bool parse_char_reference(const char* text, size_t length, uint32_t& out);
