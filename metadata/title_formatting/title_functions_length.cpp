// Lengths, filling, cutting and searching. Widths and positions count characters.
//
//     $pad(ab,4,_)          "ab__"        $pad_right(ab,4)      "  ab"
//     $padcut(abcdef,4)     "abcd"        $padcut_right(ab,4,0) "00ab"
//     $left(abcdef,2)       "ab"          $right(abcdef,2)      "ef"
//     $substr(abcdef,2,4)   "bcd"         $insert(abc,X,1)      "aXbc"
//     $repeat(ab,3)         "ababab"      $trim(  a b  )        "a b"
//     $replace(a.b.c,.,-)   "a-b-c"       $strchr(abcb,b)       "2"    $strrchr(abcb,b)  "4"
//
// Counts read as unsigned 32-bit values where the text says so: a negative count then means "as many as
// the limit allows" ($pad(x,-1) fills 1024 characters, $left(x,-1) is all of x).
#include <cstdint>

#include "foundation/kpl/number_format.h"
#include "foundation/kpl/utf8.h"
#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

namespace {

constexpr uint32_t max_fill = 1024;
constexpr uint32_t repeat_limit = 4096;

// The fill character: the first character of argument 2, a blank when it is absent or empty.
void fill_char(const title_call& call, kpl::utf8_string& out) {
    if (call.count() >= 3) {
        kpl::utf8_string_pow2 c;
        title_eval_arg(call, 2, c);
        uint32_t n = first_char(c.c_str(), c.length());
        if (n) {
            out.append(c.c_str(), n);
            return;
        }
    }
    out.append(" ", 1);
}

void write_count(const title_call& call, uint64_t value) { kpl::string_append_uint64(call.output, value); }

enum class align { left, right };

bool pad_text(const title_call& call, align where) {
    const uint32_t n = call.count();
    if (n != 2 && n != 3) return false;
    kpl::utf8_string_pow2 x, c;
    const bool truth = title_eval_arg(call, 0, x);
    const uint32_t width = low32u(title_eval_arg_number(call, 1));
    fill_char(call, c);
    const uint32_t length = char_count(x.c_str(), x.length());
    uint32_t fill = width > length ? width - length : 0;
    if (fill > max_fill) fill = max_fill;
    if (where == align::right) append_repeated(call.output, c.c_str(), c.length(), fill);
    call.output.append_string(x);
    if (where == align::left) append_repeated(call.output, c.c_str(), c.length(), fill);
    return truth;
}

bool padcut_text(const title_call& call, align where) {
    const uint32_t n = call.count();
    if (n != 2 && n != 3) return false;
    kpl::utf8_string_pow2 x, c;
    const bool truth = title_eval_arg(call, 0, x);
    uint32_t width = low32u(title_eval_arg_number(call, 1));
    if (width > max_fill) width = max_fill;
    fill_char(call, c);
    const uint32_t cut = char_offset(x.c_str(), x.length(), width);
    const uint32_t kept = char_count(x.c_str(), cut);
    const uint32_t fill = width - kept;
    if (where == align::right) append_repeated(call.output, c.c_str(), c.length(), fill);
    call.output.append(x.c_str(), cut);
    if (where == align::left) append_repeated(call.output, c.c_str(), c.length(), fill);
    return truth;
}

}  // namespace

bool f_len(const title_call& call) {
    if (call.count() != 1) return false;
    bool truth = false;
    write_count(call, title_eval_arg_length(call, 0, &truth));
    return truth;
}

bool f_pad(const title_call& call) { return pad_text(call, align::left); }
bool f_pad_right(const title_call& call) { return pad_text(call, align::right); }
bool f_padcut(const title_call& call) { return padcut_text(call, align::left); }
bool f_padcut_right(const title_call& call) { return padcut_text(call, align::right); }

bool f_cut(const title_call& call) {
    if (call.count() != 2) return false;
    const uint32_t start = call.output.length();
    const bool truth = title_eval_arg(call, 0, call.output);
    const uint32_t count = low32u(title_eval_arg_number(call, 1));
    const uint32_t keep = char_offset(call.output.c_str() + start, call.output.length() - start, count);
    call.output.truncate(start + keep);
    return truth;
}

bool f_right(const title_call& call) {
    if (call.count() != 2) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    const int32_t count = low32(title_eval_arg_number(call, 1));
    if (count <= 0) return truth;
    const uint32_t length = char_count(x.c_str(), x.length());
    const uint32_t skip = static_cast<uint32_t>(count) >= length ? 0 : length - static_cast<uint32_t>(count);
    const uint32_t from = char_offset(x.c_str(), x.length(), skip);
    const uint32_t to = char_offset(x.c_str(), x.length(), length);
    call.output.append(x.c_str() + from, to - from);
    return truth;
}

bool f_substr(const title_call& call) {
    if (call.count() != 3) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    int64_t from = low32(title_eval_arg_number(call, 1));
    int64_t to = low32(title_eval_arg_number(call, 2));
    if (from < 1) from = 1;
    const int64_t length = char_count(x.c_str(), x.length());
    if (to > length) to = length;
    if (from > to) return truth;
    const uint32_t a = char_offset(x.c_str(), x.length(), static_cast<uint32_t>(from - 1));
    const uint32_t b = char_offset(x.c_str(), x.length(), static_cast<uint32_t>(to));
    call.output.append(x.c_str() + a, b - a);
    return truth;
}

bool f_insert(const title_call& call) {
    if (call.count() != 3) return false;
    kpl::utf8_string_pow2 x, y;
    const bool truth = title_eval_arg(call, 0, x);
    title_eval_arg(call, 1, y);
    const uint32_t after = low32u(title_eval_arg_number(call, 2));
    const uint32_t at = char_offset(x.c_str(), x.length(), after);
    call.output.append(x.c_str(), at);
    call.output.append_string(y);
    call.output.append(x.c_str() + at, x.length() - at);
    return truth;
}

bool f_repeat(const title_call& call) {
    if (call.count() != 2) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    const int32_t count = low32(title_eval_arg_number(call, 1));
    if (x.is_empty()) return truth;
    uint32_t written = 0;
    for (int32_t i = 0; i < count && written < repeat_limit; ++i) {
        call.output.append_string(x);
        written += x.length();
    }
    return truth;
}

bool f_trim(const title_call& call) {
    const uint32_t n = call.count();
    if (n != 1 && n != 2) return false;
    kpl::utf8_string_pow2 x, c;
    const bool truth = title_eval_arg(call, 0, x);
    if (n == 2) {
        kpl::utf8_string_pow2 arg;
        title_eval_arg(call, 1, arg);
        c.append(arg.c_str(), first_char(arg.c_str(), arg.length()));
    }
    if (c.is_empty()) c.append(" ", 1);
    const char* text = x.c_str();
    uint32_t from = 0, to = x.length();
    const uint32_t cl = c.length();
    auto matches_at = [&](uint32_t pos) {
        for (uint32_t i = 0; i < cl; ++i)
            if (text[pos + i] != c.c_str()[i]) return false;
        return true;
    };
    while (to - from >= cl && matches_at(from)) from += cl;
    while (to - from >= cl && matches_at(to - cl)) to -= cl;
    call.output.append(text + from, to - from);
    return truth;
}

namespace {

bool pick_by_length(const title_call& call, bool longest) {
    const uint32_t n = call.count();
    if (n < 1) return false;
    kpl::utf8_string_pow2 best, candidate;
    bool best_truth = title_eval_arg(call, 0, best);
    uint32_t best_length = char_count(best.c_str(), best.length());
    for (uint32_t i = 1; i < n; ++i) {
        candidate.reset();
        bool truth = title_eval_arg(call, i, candidate);
        uint32_t length = char_count(candidate.c_str(), candidate.length());
        if (longest ? length > best_length : length < best_length) {
            best = static_cast<kpl::utf8_string_pow2&&>(candidate);
            best_truth = truth;
            best_length = length;
        }
    }
    call.output.append_string(best);
    return best_truth;
}

}  // namespace

bool f_longest(const title_call& call) { return pick_by_length(call, true); }
bool f_shortest(const title_call& call) { return pick_by_length(call, false); }

bool f_replace(const title_call& call) {
    const uint32_t n = call.count();
    if (n < 3) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    const uint32_t pairs = (n - 1) / 2;
    kpl::array<kpl::utf8_string_pow2> texts;
    texts.resize_exact(pairs * 2);
    for (uint32_t i = 0; i < pairs * 2; ++i) title_eval_arg(call, 1 + i, texts[i]);

    const char* text = x.c_str();
    const uint32_t length = x.length();
    uint32_t pos = 0, copied = 0;  // bytes before `copied` are already in the output
    while (pos < length) {
        bool replaced = false;
        for (uint32_t p = 0; p < pairs && !replaced; ++p) {
            const kpl::utf8_string& s = texts[2 * p];
            const uint32_t sl = s.length();
            if (sl == 0 || sl > length - pos) continue;
            bool match = true;
            for (uint32_t i = 0; i < sl && match; ++i) match = text[pos + i] == s.c_str()[i];
            if (!match) continue;
            call.output.append(text + copied, pos - copied);
            call.output.append_string(texts[2 * p + 1]);
            pos += sl;
            copied = pos;
            replaced = true;
        }
        if (!replaced) ++pos;
    }
    call.output.append(text + copied, length - copied);
    return truth;
}

namespace {

// Position (from 1) of the first or last character of `x` equal to the first character of `c`; 0 when
// there is none.
uint32_t find_char_position(const kpl::utf8_string& x, const kpl::utf8_string& c, bool last) {
    const uint32_t cl = first_char(c.c_str(), c.length());
    if (cl == 0) return 0;
    const char* text = x.c_str();
    const uint32_t length = x.length();
    uint32_t pos = 0, index = 0, found = 0;
    while (pos < length) {
        size_t n = kpl::utf8_decode_char(text + pos, nullptr, length - pos);
        if (n == 0) break;
        ++index;
        if (n == cl) {
            bool equal = true;
            for (uint32_t i = 0; i < cl && equal; ++i) equal = text[pos + i] == c.c_str()[i];
            if (equal) {
                found = index;
                if (!last) break;
            }
        }
        pos += static_cast<uint32_t>(n);
    }
    return found;
}

bool char_search(const title_call& call, bool last) {
    if (call.count() != 2) return false;
    kpl::utf8_string_pow2 x, c;
    title_eval_arg(call, 0, x);
    title_eval_arg(call, 1, c);
    const uint32_t position = find_char_position(x, c, last);
    write_count(call, position);
    return position != 0;
}

}  // namespace

bool f_strchr(const title_call& call) { return char_search(call, false); }
bool f_strrchr(const title_call& call) { return char_search(call, true); }

bool f_strstr(const title_call& call) {
    if (call.count() != 2) return false;
    kpl::utf8_string_pow2 x, s;
    title_eval_arg(call, 0, x);
    title_eval_arg(call, 1, s);
    uint32_t found = 0;
    if (!s.is_empty()) {
        const char* text = x.c_str();
        const uint32_t length = x.length(), sl = s.length();
        uint32_t pos = 0, index = 0;
        while (pos < length) {
            ++index;
            if (sl <= length - pos) {
                bool equal = true;
                for (uint32_t i = 0; i < sl && equal; ++i) equal = text[pos + i] == s.c_str()[i];
                if (equal) {
                    found = index;
                    break;
                }
            }
            size_t n = kpl::utf8_decode_char(text + pos, nullptr, length - pos);
            if (n == 0) break;
            pos += static_cast<uint32_t>(n);
        }
    }
    write_count(call, found);
    return found != 0;
}

}  // namespace title_functions
