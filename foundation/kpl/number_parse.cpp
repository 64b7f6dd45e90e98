#include "foundation/kpl/number_parse.h"

#include "foundation/kpl/exceptions.h"

#include <cmath>
#include <windows.h>

namespace kpl {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// 10^n exactly for small n (the extended type holds 10^27 exactly), else through powl.
long double pow10_long(long n) {
    if (n >= 0 && n <= 27) {
        long double r = 1;
        for (long i = 0; i < n; ++i) r *= 10;
        return r;
    }
    return powl(10.0L, static_cast<long double>(n));
}

}  // namespace

uint32_t parse_uint_prefix(const char* text, size_t length) {
    uint32_t value = 0;
    for (size_t i = 0; i < length && is_digit(text[i]); ++i) value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    return value;
}

uint64_t parse_uint64_last_digits(const char* text, size_t length) {
    size_t end = 0, start = 0;
    bool found = false;
    for (size_t i = 0; i < length && text[i]; ++i) {
        if (!is_digit(text[i])) continue;
        if (!found || i != end) start = i;
        end = i + 1;
        found = true;
    }
    uint64_t value = 0;
    if (found) {
        for (size_t i = start; i < end; ++i) value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    return value;
}

double parse_double(const char* text, size_t length) {
    char buffer[128];
    size_t n = 0;
    while (n < 127 && n < length && text[n]) {
        buffer[n] = text[n];
        ++n;
    }
    size_t p = 0;
    while (p < n && buffer[p] == ' ') ++p;
    bool negative = false;
    if (p < n && (buffer[p] == '-' || buffer[p] == '+')) negative = buffer[p++] == '-';

    // Up to 19 significant digits go into the mantissa; the first dropped digit rounds it, and
    // dropped digits before the point scale the exponent, so long literals keep their value.
    uint64_t mantissa = 0;
    int significant = 0;
    long exponent = 0;
    bool point = false, any_digit = false, rounded = false;
    for (; p < n; ++p) {
        char c = buffer[p];
        if (is_digit(c)) {
            any_digit = true;
            unsigned d = static_cast<unsigned>(c - '0');
            if (mantissa == 0 && d == 0) {
                if (point) --exponent;
            } else if (significant < 19) {
                mantissa = mantissa * 10 + d;
                ++significant;
                if (point) --exponent;
            } else {
                if (!rounded) {
                    if (d >= 5) ++mantissa;  // 10^19 - 1 + 1 still fits in 64 bits
                    rounded = true;
                }
                if (!point) ++exponent;
            }
        } else if (c == '.' || c == ',') {
            if (point) break;
            point = true;
        } else if (c == 'E' || c == 'e') {
            ++p;
            bool exponent_negative = false;
            if (p < n && (buffer[p] == '-' || buffer[p] == '+')) exponent_negative = buffer[p++] == '-';
            long written = 0;
            for (; p < n && is_digit(buffer[p]); ++p) {
                if (written < 100000) written = written * 10 + (buffer[p] - '0');
            }
            exponent += exponent_negative ? -written : written;
            break;
        } else {
            break;
        }
    }
    if (!any_digit || mantissa == 0) return 0.0;
    long double value = static_cast<long double>(mantissa);
    if (exponent >= 0) value *= pow10_long(exponent);
    else if (exponent >= -4950) value /= pow10_long(-exponent);
    else value = 0;
    double result = static_cast<double>(value);
    return negative ? -result : result;
}

unsigned hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    throw exception_invalid_params();
}

int32_t round_to_int(double x) {
    double r = std::floor(x + 0.5);
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return 2147483647;
    if (r <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int32_t>(r);
}

int64_t round_to_int64(double x) {
    double r = std::floor(x + 0.5);
    if (!(r == r)) return 0;
    if (r >= 9223372036854775807.0) return INT64_MAX;
    if (r <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(r);
}

uint64_t pow10_u64(unsigned n) {
    uint64_t r = 1;
    for (unsigned i = 0; i < n; ++i) r *= 10;
    return r;
}

unsigned cpu_count() {
    DWORD_PTR process_mask = 0, system_mask = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask)) return 1;
    unsigned n = static_cast<unsigned>(__builtin_popcount(static_cast<uint32_t>(process_mask)));
    return n ? n : 1;
}

}  // namespace kpl

namespace audio_math {

uint64_t seconds_to_samples(uint32_t rate, double seconds) {
    long double r = std::floor(static_cast<long double>(rate) * seconds + 0.5L);
    if (!(r > 0)) return 0;
    if (r >= 18446744073709551615.0L) return ~0ull;
    return static_cast<uint64_t>(r);
}

double samples_to_seconds(uint32_t rate, int64_t samples) {
    return static_cast<double>(samples) / static_cast<double>(rate);
}

}  // namespace audio_math
