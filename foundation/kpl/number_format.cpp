#include "foundation/kpl/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace kpl {

namespace {

// Decimal digits of v into out (no terminator); returns their count (1..20).
unsigned decimal_digits(uint64_t v, char* out) {
    char tmp[20];
    unsigned n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    for (unsigned i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
    return n;
}

// Appends v in decimal, zero-padded on the left to width digits.
void append_padded(utf8_string& out, uint64_t v, unsigned width) {
    char digits[20];
    unsigned n = decimal_digits(v, digits);
    static const char zeros[] = "000000000000000000000000000000000000000000000000000000000000000";
    if (width > n) out.append(zeros, width - n);
    out.append(digits, n);
}

uint64_t magnitude(int64_t v) { return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v); }

const uint64_t pow10_table[20] = {1ull,
                                  10ull,
                                  100ull,
                                  1000ull,
                                  10000ull,
                                  100000ull,
                                  1000000ull,
                                  10000000ull,
                                  100000000ull,
                                  1000000000ull,
                                  10000000000ull,
                                  100000000000ull,
                                  1000000000000ull,
                                  10000000000000ull,
                                  100000000000000ull,
                                  1000000000000000ull,
                                  10000000000000000ull,
                                  100000000000000000ull,
                                  1000000000000000000ull,
                                  10000000000000000000ull};

// floor(x + 0.5) as an unsigned 64-bit number; negative and NaN give 0, too large gives the maximum.
uint64_t round_half_up_unsigned(long double x) {
    long double r = std::floor(x + 0.5L);
    if (!(r >= 0)) return 0;
    if (r >= 18446744073709551615.0L) return ~0ull;
    return static_cast<uint64_t>(r);
}

void append_time_span(utf8_string& out, uint64_t s) {
    uint64_t weeks = s / 604800;
    uint64_t days = (s / 86400) % 7;
    uint64_t hours = (s / 3600) % 24;
    uint64_t minutes = (s / 60) % 60;
    uint64_t seconds = s % 60;
    if (weeks > 0) {
        append_padded(out, weeks, 1);
        out.append("wk ");
    }
    if (days > 0 || weeks > 0) {
        append_padded(out, days, 1);
        out.append("d ");
    }
    if (hours > 0 || days > 0 || weeks > 0) {
        append_padded(out, hours, 1);
        out.append(":");
        append_padded(out, minutes, 2);
    } else {
        append_padded(out, minutes, 1);
    }
    out.append(":");
    append_padded(out, seconds, 2);
}

}  // namespace

utf8_string_fixed127 format_uint64(uint64_t value, unsigned min_digits) {
    if (min_digits == 0) min_digits = 1;
    if (min_digits >= 64) min_digits = 63;
    utf8_string_fixed127 out;
    append_padded(out, value, min_digits);
    return out;
}

utf8_string_fixed127 format_int64(int64_t value, unsigned min_digits) {
    if (min_digits == 0) min_digits = 1;
    if (min_digits >= 64) min_digits = 63;
    utf8_string_fixed127 out;
    if (value < 0) {
        out.append("-");
        append_padded(out, magnitude(value), min_digits > 1 ? min_digits - 1 : 1);
    } else {
        append_padded(out, static_cast<uint64_t>(value), min_digits);
    }
    return out;
}

utf8_string_fixed32 format_tenths(int64_t tenths) {
    utf8_string_fixed32 out;
    if (tenths < 0) out.append("-");
    uint64_t m = magnitude(tenths);
    append_padded(out, m / 10, 1);
    out.append(".");
    append_padded(out, m % 10, 1);
    return out;
}

utf8_string_fixed32 format_hex64(uint64_t value, unsigned min_digits) {
    if (min_digits < 1) min_digits = 1;
    if (min_digits > 16) min_digits = 16;
    static const char hex[] = "0123456789ABCDEF";
    char digits[16];
    for (int i = 15; i >= 0; --i) {
        digits[i] = hex[value & 15];
        value >>= 4;
    }
    unsigned skip = 0;
    while (skip < 16 - min_digits && digits[skip] == '0') ++skip;
    return utf8_string_fixed32(digits + skip, 16 - skip);
}

void string_append_uint64(utf8_string& out, uint64_t value) { append_padded(out, value, 1); }

void format_fixed_to_buffer(double x, unsigned decimals, bool show_plus, char* buffer, size_t size) {
    if (size == 0) return;
    if (decimals > 18) decimals = 18;
    char text[48];
    size_t len = 0;
    long double magnitude_x = x;
    if (x < 0) {
        text[len++] = '-';
        magnitude_x = -magnitude_x;
    } else if (show_plus) {
        text[len++] = '+';
    }
    long double scaled = magnitude_x * static_cast<long double>(pow10_table[decimals]);
    if (!(scaled < 18446744073709551615.0L)) {
        // Beyond 64 bits (or not a number): the digits come from the C library instead, so a huge
        // value still prints as itself rather than as a cut-off 64-bit count.
        char wide_text[400];
        int n = __mingw_snprintf(wide_text, sizeof wide_text, "%.*f", static_cast<int>(decimals),
                                 static_cast<double>(magnitude_x));
        size_t wide_len = n < 0 ? 0 : static_cast<size_t>(n) < sizeof wide_text ? static_cast<size_t>(n)
                                                                                 : sizeof wide_text - 1;
        size_t total = len + wide_len;
        if (total > size - 1) total = size - 1;
        size_t sign_len = len < total ? len : total;
        std::memcpy(buffer, text, sign_len);
        std::memcpy(buffer + sign_len, wide_text, total - sign_len);
        buffer[total] = 0;
        return;
    }
    uint64_t v = round_half_up_unsigned(scaled);
    char digits[20];
    unsigned n = decimal_digits(v, digits);
    if (decimals == 0) {
        std::memcpy(text + len, digits, n);
        len += n;
    } else if (n > decimals) {
        std::memcpy(text + len, digits, n - decimals);
        len += n - decimals;
        text[len++] = '.';
        std::memcpy(text + len, digits + n - decimals, decimals);
        len += decimals;
    } else {
        text[len++] = '0';
        text[len++] = '.';
        for (unsigned i = n; i < decimals; ++i) text[len++] = '0';
        std::memcpy(text + len, digits, n);
        len += n;
    }
    if (len > size - 1) len = size - 1;
    std::memcpy(buffer, text, len);
    buffer[len] = 0;
}

utf8_string_fixed63 format_time_span(uint64_t seconds) {
    utf8_string_fixed63 out;
    append_time_span(out, seconds);
    return out;
}

utf8_string_fixed63 format_time_span_fraction(double seconds, unsigned decimals) {
    if (decimals > 9) decimals = 9;
    long double scaled = static_cast<long double>(seconds) * static_cast<long double>(pow10_table[decimals]);
    uint64_t f = round_half_up_unsigned(scaled);
    utf8_string_fixed63 out;
    append_time_span(out, f / pow10_table[decimals]);
    if (decimals > 0) {
        out.append(".");
        append_padded(out, f % pow10_table[decimals], decimals);
    }
    return out;
}

utf8_string_fixed63 format_file_size(uint64_t bytes) {
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    unsigned unit = 0;
    uint64_t divisor = 1;
    while (unit < 4 && bytes >= (divisor << 10)) {
        divisor <<= 10;
        ++unit;
    }
    uint64_t whole = bytes / divisor;
    utf8_string_fixed63 out;
    append_padded(out, whole, 1);
    if (unit > 0) {
        char digits[20];
        unsigned n = decimal_digits(whole, digits);
        if (n < 3) {
            unsigned k = 3 - n;
            // floor(bytes * 10^k / divisor) mod 10^k, computed from the remainder so it cannot overflow.
            uint64_t fraction = (bytes % divisor) * pow10_table[k] / divisor;
            unsigned shown = k;
            while (shown > 0 && fraction % 10 == 0) {
                fraction /= 10;
                --shown;
            }
            if (shown > 0) {
                out.append(".");
                append_padded(out, fraction, shown);
            }
        }
    }
    out.append(units[unit]);
    return out;
}

}  // namespace kpl
