// Dates and times. A date text is "YYYY", "YYYY-MM" (month 1-12) or "YYYY-MM-DD" (day 1-31) followed by
// the end or by a blank and anything; every other text reads as year 0, month 0, day 0.
//
//     $year(1999-07-04 12:00)   "1999"      $year(1999-13)     "0000"
//     $month(1999)              "00"        $date(1999-07)     "1999-07"
//     $time(1999-07-04 12:30)   "12:30"     $time(1999-07-04)  "?"
//
// These functions read their first argument only and accept any argument count.
#include <cstdint>

#include "foundation/kpl/number_format.h"
#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

namespace {

struct date_parts {
    int year = 0, month = 0, day = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether `count` digits stand at p (p + count within end); their value in *value.
bool read_digits(const char* p, const char* end, int count, int* value) {
    if (end - p < count) return false;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (!is_digit(p[i])) return false;
        v = v * 10 + (p[i] - '0');
    }
    if (value) *value = v;
    return true;
}

date_parts parse_date(const kpl::utf8_string& text) {
    const char* p = text.c_str();
    const char* end = p + text.length();
    date_parts d;
    int year = 0, month = 0, day = 0;
    if (!read_digits(p, end, 4, &year)) return {};
    p += 4;
    if (p == end) {
        d.year = year;
        return d;
    }
    if (*p != '-' || !read_digits(p + 1, end, 2, &month) || month < 1 || month > 12) return {};
    p += 3;
    if (p == end) {
        d.year = year;
        d.month = month;
        return d;
    }
    if (*p != '-' || !read_digits(p + 1, end, 2, &day) || day < 1 || day > 31) return {};
    p += 3;
    if (p != end && *p != ' ') return {};
    d.year = year;
    d.month = month;
    d.day = day;
    return d;
}

void write_padded(const title_call& call, int value, unsigned digits) {
    auto text = kpl::format_int64(value, digits);
    call.output.append(text.c_str(), text.length());
}

bool read_date(const title_call& call, date_parts& d) {
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    d = parse_date(x);
    return truth;
}

}  // namespace

bool f_year(const title_call& call) {
    date_parts d;
    const bool truth = read_date(call, d);
    write_padded(call, d.year, 4);
    return truth;
}

bool f_month(const title_call& call) {
    date_parts d;
    const bool truth = read_date(call, d);
    write_padded(call, d.month, 2);
    return truth && d.month != 0;
}

bool f_day_of_month(const title_call& call) {
    date_parts d;
    const bool truth = read_date(call, d);
    write_padded(call, d.day, 2);
    return truth && d.day != 0;
}

bool f_date(const title_call& call) {
    date_parts d;
    const bool truth = read_date(call, d);
    if (d.year == 0) return false;
    write_padded(call, d.year, 4);
    if (d.month) {
        call.output.append("-", 1);
        write_padded(call, d.month, 2);
        if (d.day) {
            call.output.append("-", 1);
            write_padded(call, d.day, 2);
        }
    }
    return truth;
}

namespace {

// Whether the text at p has the shape of `pattern`, where '0' stands for any digit.
bool has_shape(const char* p, const char* end, const char* pattern) {
    for (; *pattern; ++pattern, ++p) {
        if (p >= end) return false;
        if (*pattern == '0' ? !is_digit(*p) : *p != *pattern) return false;
    }
    return true;
}

bool only_blanks(const char* p, const char* end) {
    for (; p < end; ++p)
        if (*p != ' ') return false;
    return true;
}

}  // namespace

bool f_time(const title_call& call) {
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    const char* p = x.c_str();
    const char* end = p + x.length();
    bool ok = true;
    if (has_shape(p, end, "0000-00-00")) {
        p += 10;
        if (p == end || *p != ' ') ok = false;
        while (p < end && *p == ' ') ++p;
    }
    if (ok) {
        if (has_shape(p, end, "00:00:00") && only_blanks(p + 8, end)) {
            call.output.append(p, 8);
            return truth;
        }
        if (has_shape(p, end, "00:00") && only_blanks(p + 5, end)) {
            call.output.append(p, 5);
            return truth;
        }
    }
    call.output.append("?", 1);
    return false;
}

}  // namespace title_functions
