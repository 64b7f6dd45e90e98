#pragma once
// The value of the start-up switch "/lang": a language id in decimal, or "0x" and hexadecimal digits.
//
//     parse_language_id("1036") == 1036;   parse_language_id("0x40C") == 0x40C;
//     parse_language_id("0x") == 0;        parse_language_id("12x") == 0;   // failures give 0
//
// Any character that is not a digit of the form, and any value above 32 bits, is a failure; failures
// are swallowed and give 0 (choose the language automatically).

#include <cstdint>

uint32_t parse_language_id(const char* text) noexcept;
