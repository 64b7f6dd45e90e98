#pragma once
// Numbers, durations and file sizes as text.
//
//     kpl::format_uint64(7, 3)          "007"        (minimum digits: 0 counts as 1, at most 63)
//     kpl::format_int64(-5, 3)          "-05"        (the sign counts toward the width)
//     kpl::format_tenths(-125)          "-12.5"
//     kpl::format_hex64(0xAB, 4)        "00AB"       (minimum digits 1..16)
//     kpl::format_time_span(59)         "0:59"
//     kpl::format_time_span(90061)      "1d 1:01:01"
//     kpl::format_time_span(694861)     "1wk 1d 1:01:01"
//     kpl::format_time_span_fraction(61.25, 1)   "1:01.3"  (rounded half up)
//     kpl::format_file_size(1536)       "1.5KB"      (three significant digits, fraction cut)
//     kpl::format_file_size(1048576)    "1MB"
//     kpl::format_fixed_to_buffer(-1.25, 1, false, buf, sizeof buf)   "-1.3" (half up on the magnitude)

#include "foundation/kpl/fixed_string.h"
#include "foundation/kpl/string.h"

#include <cstddef>
#include <cstdint>

namespace kpl {

utf8_string_fixed127 format_uint64(uint64_t value, unsigned min_digits = 1);
utf8_string_fixed127 format_int64(int64_t value, unsigned min_digits = 1);
utf8_string_fixed32 format_tenths(int64_t tenths);
utf8_string_fixed32 format_hex64(uint64_t value, unsigned min_digits = 1);

// Appends the unsigned decimal form.
void string_append_uint64(utf8_string& out, uint64_t value);

// x with n decimals (0..18), rounded half up on the magnitude; '+' before non-negative values when
// show_plus is set. Writes at most size - 1 characters and a terminator (nothing when size is 0).
void format_fixed_to_buffer(double x, unsigned decimals, bool show_plus, char* buffer, size_t size);

// [[w]wk ][[d]d ][h:m]m:ss  (see the examples above).
utf8_string_fixed63 format_time_span(uint64_t seconds);
// The time span of the whole seconds of round(x * 10^n), then "." and n digits (no point for n = 0).
// Negative values count as 0; n is at most 9.
utf8_string_fixed63 format_time_span_fraction(double seconds, unsigned decimals);

// The size in B, KB, MB, GB or TB (steps of 1024), no space before the unit.
utf8_string_fixed63 format_file_size(uint64_t bytes);

}  // namespace kpl
