// Colour codes and progress bars.
//
// A colour code is the control character 3, six upper-case hex digits for blue, green and red (two
// each), optionally '|' and six more for a second colour, and a closing 3; two 3s in a row end a
// colouring. When a code is read the digits may be in either case and the closing 3 may be missing.
//
//     $rgb(255,128,0)                 "\x03" "0080FF" "\x03"
//     $rgb()                          "\x03\x03"
//     $blend($rgb(0,0,0),$rgb(200,100,50),1,2)    the code of red 100, green 50, blue 25
//     $progress(3,10,10,#,-)          "---#------"
//     $progress2(3,10,10,#,-)         "###-------"
#include <cmath>
#include <cstdint>

#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

namespace {

struct colour {
    int64_t r = 0, g = 0, b = 0;
};

struct colour_code {
    colour first;
    bool has_second = false;
    colour second;
};

int64_t clamp(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

colour clamped(colour c) { return {clamp(c.r, 0, 255), clamp(c.g, 0, 255), clamp(c.b, 0, 255)}; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Six hex digits as blue, green, red.
bool read_bgr(const char* p, const char* end, colour& out) {
    if (end - p < 6) return false;
    int v[6];
    for (int i = 0; i < 6; ++i)
        if ((v[i] = hex_value(p[i])) < 0) return false;
    out.b = v[0] * 16 + v[1];
    out.g = v[2] * 16 + v[3];
    out.r = v[4] * 16 + v[5];
    return true;
}

bool read_colour_code(const kpl::utf8_string& text, colour_code& out) {
    const char* p = text.c_str();
    const char* end = p + text.length();
    if (p == end || *p != 3) return false;
    if (!read_bgr(p + 1, end, out.first)) return false;
    p += 7;
    out.has_second = p < end && *p == '|' && read_bgr(p + 1, end, out.second);
    return true;
}

void write_bgr(kpl::utf8_string& out, colour c) {
    static const char digits[] = "0123456789ABCDEF";
    c = clamped(c);
    const int64_t parts[3] = {c.b, c.g, c.r};
    char text[6];
    for (int i = 0; i < 3; ++i) {
        text[2 * i] = digits[parts[i] >> 4];
        text[2 * i + 1] = digits[parts[i] & 15];
    }
    out.append(text, 6);
}

void write_code(kpl::utf8_string& out, const colour& first, const colour* second) {
    out.append("\x03", 1);
    write_bgr(out, first);
    if (second) {
        out.append("|", 1);
        write_bgr(out, *second);
    }
    out.append("\x03", 1);
}

// Arguments from `index` on as three 32-bit numbers.
void read_triple(const title_call& call, uint32_t index, int64_t out[3]) {
    for (uint32_t i = 0; i < 3; ++i) out[i] = low32(title_eval_arg_number(call, index + i));
}

// Hue, saturation and lightness in 0..240 to red, green and blue in 0..255.
colour hsl_to_rgb(int64_t h_in, int64_t s_in, int64_t l_in) {
    const double h = static_cast<double>(clamp(h_in, 0, 240));
    const double s = static_cast<double>(clamp(s_in, 0, 240)) / 240.0;
    const double l = static_cast<double>(clamp(l_in, 0, 240)) / 240.0;
    double r, g, b;
    if (s == 0) {
        r = g = b = l;
    } else {
        const double hi = l < 0.5 ? l * (1 + s) : l + s * (1 - l);
        const double lo = 2 * l - hi;
        const double sector_f = h / 40.0;
        const int sector = static_cast<int>(sector_f);
        const double f = sector_f - sector;
        const double rising = lo * (1 - f) + hi * f;
        const double falling = hi * (1 - f) + lo * f;
        switch (sector) {
            case 0: r = hi, g = rising, b = lo; break;
            case 1: r = falling, g = hi, b = lo; break;
            case 2: r = lo, g = hi, b = rising; break;
            case 3: r = lo, g = falling, b = hi; break;
            case 4: r = rising, g = lo, b = hi; break;
            default: r = hi, g = lo, b = falling; break;
        }
    }
    auto component = [](double v) { return clamp(static_cast<int64_t>(std::floor(v * 255 + 0.5)), 0, 255); };
    return {component(r), component(g), component(b)};
}

// The colour at `pos` of a mix running from a to b over `range` steps and back. 64-bit throughout, so
// the magnitude of INT32_MIN and twice a large range cannot overflow.
colour mix(int64_t pos, int64_t range, const colour& a, const colour& b) {
    int64_t t;
    if (range > 0) {
        t = (pos < 0 ? -pos : pos) % (2 * range);
        if (t > range) t = 2 * range - t;
    } else {
        t = 1;
        range = 2;
    }
    return {a.r + (b.r - a.r) * t / range, a.g + (b.g - a.g) * t / range, a.b + (b.b - a.b) * t / range};
}

template <class Convert>
bool colour_function(const title_call& call, Convert&& convert) {
    int64_t v[3];
    switch (call.count()) {
        case 0:
            call.output.append("\x03\x03", 2);
            return false;
        case 3: {
            read_triple(call, 0, v);
            write_code(call.output, convert(v), nullptr);
            return false;
        }
        case 6: {
            read_triple(call, 0, v);
            colour first = convert(v);
            read_triple(call, 3, v);
            colour second = convert(v);
            write_code(call.output, first, &second);
            return false;
        }
        default:
            return false;
    }
}

}  // namespace

bool f_rgb(const title_call& call) {
    return colour_function(call, [](const int64_t v[3]) { return colour{v[0], v[1], v[2]}; });
}

bool f_hsl(const title_call& call) {
    return colour_function(call, [](const int64_t v[3]) { return hsl_to_rgb(v[0], v[1], v[2]); });
}

bool f_blend(const title_call& call) {
    if (call.count() != 4) return false;
    kpl::utf8_string_pow2 t1, t2;
    title_eval_arg(call, 0, t1);
    title_eval_arg(call, 1, t2);
    const int64_t pos = low32(title_eval_arg_number(call, 2));
    const int64_t range = low32(title_eval_arg_number(call, 3));
    colour_code c1, c2;
    if (!read_colour_code(t1, c1) || !read_colour_code(t2, c2)) return false;
    const colour first = mix(pos, range, c1.first, c2.first);
    if (c1.has_second || c2.has_second) {
        // A code without a second colour counts as black there.
        const colour second = mix(pos, range, c1.has_second ? c1.second : colour(), c2.has_second ? c2.second : colour());
        write_code(call.output, first, &second);
    } else {
        write_code(call.output, first, nullptr);
    }
    return true;
}

bool f_transition(const title_call& call) {
    const uint32_t n = call.count();
    if (n < 3 || n > 5) return false;
    kpl::utf8_string_pow2 x, t1, t2;
    const bool truth = title_eval_arg(call, 0, x);
    title_eval_arg(call, 1, t1);
    title_eval_arg(call, 2, t2);
    colour_code c1, c2;
    if (!read_colour_code(t1, c1) || !read_colour_code(t2, c2)) {
        call.output.append_string(x);
        return truth;
    }
    // One second colour serves both ends.
    if (c1.has_second != c2.has_second) {
        if (c1.has_second) c2.second = c1.second;
        else c1.second = c2.second;
        c1.has_second = c2.has_second = true;
    }
    const bool two = c1.has_second;
    const uint32_t chars = char_count(x.c_str(), x.length());
    int64_t pos = n >= 4 ? low32(title_eval_arg_number(call, 3)) : 0;
    const int64_t range = n >= 5 ? low32(title_eval_arg_number(call, 4)) : static_cast<int64_t>(chars) - 1;
    const char* text = x.c_str();
    const uint32_t length = x.length();
    uint32_t at = 0;
    for (uint32_t i = 0; i < chars; ++i, ++pos) {
        const uint32_t bytes = char_bytes(text + at, length - at);
        const colour first = mix(pos, range, c1.first, c2.first);
        if (two) {
            const colour second = mix(pos, range, c1.second, c2.second);
            write_code(call.output, first, &second);
        } else {
            write_code(call.output, first, nullptr);
        }
        call.output.append(text + at, bytes);
        at += bytes;
    }
    call.output.append("\x03\x03", 2);
    return truth;
}

// ---- progress bars ----

namespace {

struct bar_arguments {
    int64_t pos, range, len;
    bool truth;
    kpl::utf8_string_pow2 a, b;
};

bool read_bar(const title_call& call, bar_arguments& bar) {
    if (call.count() != 5) return false;
    bool pos_truth = false, range_truth = false;
    bar.pos = low32(title_eval_arg_number(call, 0, &pos_truth));
    bar.range = low32(title_eval_arg_number(call, 1, &range_truth));
    if (bar.range < 1) bar.range = 1;
    bar.len = clamp(low32(title_eval_arg_number(call, 2)), 1, 256);
    title_eval_arg(call, 3, bar.a);
    title_eval_arg(call, 4, bar.b);
    bar.truth = pos_truth && range_truth;
    return true;
}

}  // namespace

bool f_progress(const title_call& call) {
    bar_arguments bar;
    if (!read_bar(call, bar)) return false;
    // pos * len / range rounded with halves away from zero; |pos * len| < 2^40, so nothing overflows.
    const int64_t product = bar.pos * bar.len;
    const int64_t magnitude = product < 0 ? -product : product;
    int64_t marker = (2 * magnitude + bar.range) / (2 * bar.range);
    if (product < 0) marker = -marker;
    marker = clamp(marker, 0, bar.len - 1);
    for (int64_t i = 0; i < bar.len; ++i) call.output.append_string(i == marker ? bar.a : bar.b);
    return bar.truth;
}

bool f_progress2(const title_call& call) {
    bar_arguments bar;
    if (!read_bar(call, bar)) return false;
    const int64_t filled = clamp((bar.len * bar.pos + (bar.range - 1) / 2) / bar.range, 0, bar.len);
    for (int64_t i = 0; i < bar.len; ++i) call.output.append_string(i < filled ? bar.a : bar.b);
    return bar.truth;
}

}  // namespace title_functions
