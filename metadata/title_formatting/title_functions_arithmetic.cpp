// Arithmetic on signed 64-bit values. Results wrap around like two's-complement registers, the limits
// included: $sub(-9223372036854775808,1) is 9223372036854775807, $div(-9223372036854775808,-1) and
// $mul(-9223372036854775808,-1) are -9223372036854775808 and $mod(-9223372036854775808,-1) is 0.
//
//     $add(1,2,3)      "6"           $add()  "0"      $mul()  "1"
//     $div(10,0)       "10"          (a divisor of 0 is skipped)
//     $muldiv(7,3,0)   "-1"
//     $num(-5,4)       "-005"        (the sign counts toward the width)
//     $hex(-1,0)       "FFFFFFFF"    (the low 32 bits)
//     $roman(1994)     "MCMXCIV"
#include <cstdint>

#include "foundation/kpl/number_format.h"
#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

namespace {

int64_t from_bits(uint64_t v) { return static_cast<int64_t>(v); }
int64_t wrap_add(int64_t a, int64_t b) { return from_bits(static_cast<uint64_t>(a) + static_cast<uint64_t>(b)); }
int64_t wrap_sub(int64_t a, int64_t b) { return from_bits(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)); }
int64_t wrap_mul(int64_t a, int64_t b) { return from_bits(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)); }
// b != 0. The one quotient outside the range, INT64_MIN / -1, wraps to INT64_MIN.
int64_t wrap_div(int64_t a, int64_t b) { return b == -1 ? wrap_sub(0, a) : a / b; }
// b != 0. Sign of the dividend; anything modulo -1 is 0.
int64_t wrap_mod(int64_t a, int64_t b) { return b == -1 ? 0 : a % b; }

void write_number(const title_call& call, int64_t value) {
    auto text = kpl::format_int64(value);
    call.output.append(text.c_str(), text.length());
}

// Folds the arguments from the first on with `step`; false (nothing written) without arguments.
template <class Step>
bool fold(const title_call& call, Step&& step) {
    const uint32_t n = call.count();
    if (n == 0) return false;
    bool any_true = false, t = false;
    int64_t value = title_eval_arg_number(call, 0, &t);
    any_true = t;
    for (uint32_t i = 1; i < n; ++i) {
        value = step(value, title_eval_arg_number(call, i, &t));
        any_true = any_true || t;
    }
    write_number(call, value);
    return any_true;
}

}  // namespace

bool f_add(const title_call& call) {
    if (call.count() == 0) {
        call.output.append("0", 1);
        return false;
    }
    return fold(call, wrap_add);
}

bool f_sub(const title_call& call) { return fold(call, wrap_sub); }

bool f_mul(const title_call& call) {
    if (call.count() == 0) {
        call.output.append("1", 1);
        return false;
    }
    return fold(call, wrap_mul);
}

bool f_div(const title_call& call) {
    return fold(call, [](int64_t a, int64_t b) { return b == 0 ? a : wrap_div(a, b); });
}

bool f_mod(const title_call& call) {
    return fold(call, [](int64_t a, int64_t b) { return b == 0 ? a : wrap_mod(a, b); });
}

bool f_min(const title_call& call) {
    return fold(call, [](int64_t a, int64_t b) { return b < a ? b : a; });
}

bool f_max(const title_call& call) {
    return fold(call, [](int64_t a, int64_t b) { return b > a ? b : a; });
}

bool f_muldiv(const title_call& call) {
    if (call.count() != 3) return false;
    const int64_t a = title_eval_arg_number(call, 0);
    const int64_t b = title_eval_arg_number(call, 1);
    const int64_t c = title_eval_arg_number(call, 2);
    write_number(call, c == 0 ? -1 : wrap_div(wrap_mul(a, b), c));
    return true;
}

bool f_num(const title_call& call) {
    if (call.count() != 2) return false;
    bool truth = false;
    const int64_t value = title_eval_arg_number(call, 0, &truth);
    uint32_t width = low32u(title_eval_arg_number(call, 1));
    if (width > 32) width = 32;
    auto text = kpl::format_int64(value, width);
    call.output.append(text.c_str(), text.length());
    return truth;
}

bool f_hex(const title_call& call) {
    if (call.count() != 2) return false;
    bool truth = false;
    uint32_t value = low32u(title_eval_arg_number(call, 0, &truth));
    int32_t width = low32(title_eval_arg_number(call, 1));
    if (width < 0) width = 0;
    if (width > 32) width = 32;
    static const char digits[] = "0123456789ABCDEF";
    char text[32];
    int n = 0;
    do {
        text[31 - n++] = digits[value & 15];
        value >>= 4;
    } while (value);
    while (n < width) text[31 - n++] = '0';
    call.output.append(text + 32 - n, static_cast<uint32_t>(n));
    return truth;
}

bool f_roman(const title_call& call) {
    if (call.count() != 1) return false;
    bool truth = false;
    // The magnitude of a 32-bit value always fits in 64 bits, INT32_MIN included.
    int64_t value = low32(title_eval_arg_number(call, 0, &truth));
    if (value < 0) value = -value;
    if (value == 0 || value > 100000) return truth;
    static const struct {
        int value;
        const char* text;
    } pieces[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
                  {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"}};
    for (const auto& piece : pieces) {
        while (value >= piece.value) {
            call.output.append(piece.text);
            value -= piece.value;
        }
    }
    return truth;
}

}  // namespace title_functions
