#include "foundation/kpl/number_format.h"

#include <doctest/doctest.h>

#include <string>

TEST_CASE("format_uint64, format_int64, format_tenths and format_hex64") {
    struct {
        std::string got, want;
    } cases[] = {
        {kpl::format_uint64(0, 0).c_str(), "0"},  // a minimum of 0 counts as 1
        {kpl::format_uint64(7, 3).c_str(), "007"},
        {kpl::format_uint64(12345, 2).c_str(), "12345"},
        {kpl::format_uint64(18446744073709551615ull, 1).c_str(), "18446744073709551615"},
        {kpl::format_uint64(1, 100).c_str(), std::string(62, '0') + "1"},  // capped at 63 digits
        {kpl::format_int64(-5, 3).c_str(), "-05"},                         // the sign counts toward the width
        {kpl::format_int64(5, 3).c_str(), "005"},
        {kpl::format_int64(-5, 1).c_str(), "-5"},
        {kpl::format_int64(INT64_MIN, 1).c_str(), "-9223372036854775808"},
        {kpl::format_tenths(125).c_str(), "12.5"},
        {kpl::format_tenths(-125).c_str(), "-12.5"},
        {kpl::format_tenths(-5).c_str(), "-0.5"},
        {kpl::format_tenths(0).c_str(), "0.0"},
        {kpl::format_hex64(0xAB, 4).c_str(), "00AB"},
        {kpl::format_hex64(0, 0).c_str(), "0"},
        {kpl::format_hex64(0x123456789ABCDEF0ull, 1).c_str(), "123456789ABCDEF0"},
        {kpl::format_hex64(1, 99).c_str(), "0000000000000001"},
    };
    for (auto& c : cases) CHECK(c.got == c.want);

    kpl::utf8_string_pow2 s("n=");
    kpl::string_append_uint64(s, 42);
    CHECK(s == "n=42");
}

TEST_CASE("format_time_span and format_time_span_fraction") {
    struct {
        uint64_t seconds;
        const char* want;
    } spans[] = {
        {0, "0:00"},          {59, "0:59"},         {60, "1:00"},       {3599, "59:59"},
        {3600, "1:00:00"},    {86399, "23:59:59"},  {86400, "1d 0:00:00"},
        {90061, "1d 1:01:01"}, {604800, "1wk 0d 0:00:00"}, {694861, "1wk 1d 1:01:01"},
    };
    for (auto& c : spans) {
        CAPTURE(c.seconds);
        CHECK(std::string(kpl::format_time_span(c.seconds).c_str()) == c.want);
    }

    struct {
        double seconds;
        unsigned decimals;
        const char* want;
    } fractions[] = {
        {61.25, 1, "1:01.3"},  // half up
        {61.24, 1, "1:01.2"},
        {59.96, 1, "1:00.0"},  // rounding carries into the minutes
        {0.5, 3, "0:00.500"},
        {3600.05, 2, "1:00:00.05"},
        {12.7, 0, "0:13"},     // no point without decimals
        {-3.0, 2, "0:00.00"},  // negative times count as 0
    };
    for (auto& c : fractions) {
        CAPTURE(c.seconds);
        CHECK(std::string(kpl::format_time_span_fraction(c.seconds, c.decimals).c_str()) == c.want);
    }
}

TEST_CASE("format_file_size: three significant digits, fraction cut, no space") {
    struct {
        uint64_t bytes;
        const char* want;
    } cases[] = {
        {0, "0B"},
        {1000, "1000B"},
        {1023, "1023B"},
        {1024, "1KB"},
        {1536, "1.5KB"},
        {10752, "10.5KB"},
        {1047552, "1023KB"},
        {1048576, "1MB"},
        {1048576 + 10486, "1.01MB"},          // a zero after the point stays
        {1073741823ull, "1023MB"},            // 1023.99... cut, not rounded
        {5ull * 1024 * 1024 * 1024 + 1, "5GB"},
        {1099511627776ull * 3 / 2, "1.5TB"},
        {18446744073709551615ull, "16777215TB"},
    };
    for (auto& c : cases) {
        CAPTURE(c.bytes);
        CHECK(std::string(kpl::format_file_size(c.bytes).c_str()) == c.want);
    }
}

TEST_CASE("format_fixed_to_buffer: rounding, signs and a full buffer") {
    struct {
        double x;
        unsigned decimals;
        bool plus;
        size_t size;
        const char* want;
    } cases[] = {
        {0.05, 1, false, 32, "0.1"},
        {-1.25, 1, false, 32, "-1.3"},  // half up on the magnitude
        {123.456, 2, false, 4, "123"},  // writing stops at the end of the buffer
        {123.456, 2, false, 1, ""},
        {3.0, 0, false, 32, "3"},
        {0.001, 3, false, 32, "0.001"},
        {2.5, 2, true, 32, "+2.50"},
        {-6.02, 2, true, 32, "-6.02"},
        {0.0, 2, true, 32, "+0.00"},
        {-1e20, 1, false, 32, "-100000000000000000000.0"},  // past 64 bits: the value, not a cut-off count
        {1e19, 2, true, 32, "+10000000000000000000.00"},
        {1e300, 0, false, 6, "10000"},
    };
    for (auto& c : cases) {
        CAPTURE(c.x);
        char buffer[32];
        std::memset(buffer, 'x', sizeof buffer);
        kpl::format_fixed_to_buffer(c.x, c.decimals, c.plus, buffer, c.size);
        CHECK(std::string(buffer) == c.want);
    }
    char untouched = 'x';
    kpl::format_fixed_to_buffer(1.0, 1, false, &untouched, 0);
    CHECK(untouched == 'x');
}
