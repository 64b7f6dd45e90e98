#include "foundation/kpl/number_parse.h"

#include "foundation/kpl/exceptions.h"
#include "tests/support/guarded_buffer.h"

#include <doctest/doctest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

TEST_CASE("parse_uint_prefix and parse_uint64_last_digits") {
    struct {
        const char* text;
        uint32_t prefix;
        uint64_t last;
    } cases[] = {
        {"42abc", 42, 42},
        {"", 0, 0},
        {"abc", 0, 0},
        {"12a34", 12, 34},
        {"-5", 0, 5},
        {"7 ", 7, 7},
        {"4294967296", 0, 4294967296ull},                 // the prefix wraps at 32 bits
        {"18446744073709551617", 1, 1},                   // the last run is taken modulo 2^64
        {"v1.2.300", 0, 300},
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        guarded_text g(c.text);
        CHECK(kpl::parse_uint_prefix(g.data(), g.size()) == c.prefix);
        CHECK(kpl::parse_uint64_last_digits(g.data(), g.size()) == c.last);
        CHECK(kpl::parse_uint_prefix(c.text) == c.prefix);
    }
    // The length bounds the text even where digits go on.
    CHECK(kpl::parse_uint_prefix("12345", 3) == 123);
    CHECK(kpl::parse_uint64_last_digits("12345", 2) == 12);
}

TEST_CASE("parse_double: grammar, bounds and long literals") {
    struct {
        const char* text;
        double want;
    } exact[] = {
        {"0", 0.0},        {"", 0.0},          {"abc", 0.0},       {"-", 0.0},
        {"  12.5", 12.5},  {"-1,5", -1.5},     {"+2", 2.0},        {"1.2.3", 1.2},
        {"1e3", 1000.0},   {"1E+3", 1000.0},   {"25e-1", 2.5},     {"-1,5e2x", -150.0},
        {"3e", 3.0},       {"7x9", 7.0},       {".5", 0.5},        {"0.000125", 0.000125},
        {"123456789012345678", 123456789012345678.0},
    };
    for (auto& c : exact) {
        CAPTURE(c.text);
        guarded_text g(c.text);
        CHECK(kpl::parse_double(g.data(), g.size()) == c.want);
    }

    // More than 19 significant digits: the extra digits must not wrap the mantissa. Checked against
    // the C library's conversion within a few units in the last place.
    const char* long_literals[] = {
        "0.12345678901234567890123",
        "12345678901234567890123456789",
        "99999999999999999999.5",
        "-3.14159265358979323846264338327950288",
        "1844674407370955161500",
        "0.0000000000000000000000012345678901234567890e5",
        "18446744073709551616",
    };
    for (const char* text : long_literals) {
        CAPTURE(text);
        double want = std::strtod(text, nullptr);
        double got = kpl::parse_double(text);
        CHECK(std::fabs(got - want) <= std::fabs(want) * 4e-16);
    }

    // Only 127 characters are read: the digit after them does not count.
    char text[200];
    std::memset(text, '0', sizeof text);
    text[0] = '1';
    text[127] = '9';
    text[199] = 0;
    CHECK(kpl::parse_double(text, 128) == doctest::Approx(1e126).epsilon(1e-15));

    // Extreme exponents saturate instead of misbehaving.
    CHECK(std::isinf(kpl::parse_double("1e99999999999999999999")));
    CHECK(kpl::parse_double("1e-99999999999999999999") == 0.0);
}

TEST_CASE("hex_digit_value throws for a non-digit") {
    const char* digits = "0123456789abcdefABCDEF";
    const unsigned values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
    for (size_t i = 0; digits[i]; ++i) CHECK(kpl::hex_digit_value(digits[i]) == values[i]);
    for (char c : {'g', 'G', ' ', '\0', '/', ':', '@', '`'}) {
        CAPTURE(c);
        CHECK_THROWS_AS(kpl::hex_digit_value(c), kpl::exception_invalid_params);
    }
}

TEST_CASE("rounding, powers of ten, processors and sample counts") {
    CHECK(kpl::round_to_int(2.5) == 3);
    CHECK(kpl::round_to_int(-2.5) == -2);
    CHECK(kpl::round_to_int(-2.6) == -3);
    CHECK(kpl::round_to_int(1e20) == INT32_MAX);
    CHECK(kpl::round_to_int(-1e20) == INT32_MIN);
    CHECK(kpl::round_to_int(std::nan("")) == 0);
    CHECK(kpl::round_to_int64(1e12 + 0.5) == 1000000000001ll);
    CHECK(kpl::round_to_int64(-1e30) == INT64_MIN);

    CHECK(kpl::pow10_u64(0) == 1);
    CHECK(kpl::pow10_u64(19) == 10000000000000000000ull);
    CHECK(kpl::pow10_u64(20) == 10000000000000000000ull * 10);  // wraps

    unsigned cpus = kpl::cpu_count();
    CHECK(cpus >= 1);
    CHECK(cpus <= 32);

    CHECK(audio_math::seconds_to_samples(44100, 1.5) == 66150);
    CHECK(audio_math::seconds_to_samples(2, 0.25) == 1);  // half a sample rounds up
    CHECK(audio_math::seconds_to_samples(44100, -2.0) == 0);
    CHECK(audio_math::samples_to_seconds(44100, 88200) == 2.0);
    CHECK(audio_math::samples_to_seconds(8000, -4000) == -0.5);
}
