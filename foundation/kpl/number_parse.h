#pragma once
// Text to numbers, and a few numeric helpers. The parsers never read past the given length or the
// first zero byte, and never throw on bad input, except kpl::hex_digit_value.
//
//     kpl::parse_uint_prefix("42abc")             42     (no digits give 0)
//     kpl::parse_uint64_last_digits("12a34")      34     (the last run of digits, modulo 2^64)
//     kpl::parse_double("  -1,5e2x")              -150   (',' or '.' as the point; no digits give 0)
//     kpl::hex_digit_value('g')                   throws kpl::exception_invalid_params
//     kpl::round_to_int(-2.5)                     -2     (floor(x + 0.5))

#include "foundation/kpl/utf8.h"

#include <cstddef>
#include <cstdint>

namespace kpl {

uint32_t parse_uint_prefix(const char* text, size_t length = text_npos);
uint64_t parse_uint64_last_digits(const char* text, size_t length = text_npos);

// Reads at most 127 characters: leading spaces, an optional sign, digits with one '.' or ',' as the
// decimal point (a second point ends the number), then an optional exponent (E or e, optional sign,
// digits). Digits beyond the 19th significant one only move the exponent, so long literals keep
// their value.
double parse_double(const char* text, size_t length = text_npos);

// 0-15 for 0-9, a-f, A-F; any other character throws kpl::exception_invalid_params.
unsigned hex_digit_value(char c);

// floor(x + 0.5), saturated at the limits of the type (NaN gives 0).
int32_t round_to_int(double x);
int64_t round_to_int64(double x);

// 10^n as an unsigned 64-bit number (wrapping past 10^19).
uint64_t pow10_u64(unsigned n);

// Processors in the low 32 bits of the process affinity mask, at least 1.
unsigned cpu_count();

}  // namespace kpl

namespace audio_math {

// floor(rate * seconds + 0.5); negative results count as 0.
uint64_t seconds_to_samples(uint32_t rate, double seconds);
double samples_to_seconds(uint32_t rate, int64_t samples);

}  // namespace audio_math
