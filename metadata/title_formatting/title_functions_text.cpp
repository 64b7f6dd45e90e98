// Letter case, abbreviation, prefix words and character conversion.
//
// (Brackets in the examples' texts stand for brackets in the text handed to the function; written in a
// script they must be quoted, '[', or they open a conditional section.)
//
//     $upper(été)                  "ÉTÉ"
//     $caps(the [best] OF)         "The [Best] Of"     $caps2(the [best] OF)  "The [Best] OF"
//     $abbr(Final Fantasy VII)     "FFVII"             $abbr(Mind [Live])     "M[Live]"
//     $swapprefix(The Doors)       "Doors, The"        $stripprefix(A Tribe)  "Tribe"
//     $char(65)                    "A"                 $char(55296)           "" (a surrogate)
//     $fix_eol(a$crlf()b)          "a (...)"
#include <windows.h>

#include <cstdint>

#include "foundation/kpl/case_mapping.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/crc32.h"
#include "foundation/kpl/number_format.h"
#include "foundation/kpl/utf8.h"
#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

namespace {

// Appends `length` bytes of text with every character mapped by `map`; a byte that starts no valid
// UTF-8 sequence is copied as it is.
template <class Map>
void append_mapped(kpl::utf8_string& out, const char* text, uint32_t length, Map&& map) {
    uint32_t pos = 0;
    while (pos < length) {
        uint32_t c = 0;
        size_t n = kpl::utf8_decode_char(text + pos, &c, length - pos);
        if (n == 0) {
            out.append(text + pos, 1);
            ++pos;
            continue;
        }
        kpl::string_append_codepoint(out, map(c, pos));
        pos += static_cast<uint32_t>(n);
    }
}

// Evaluates argument 0 into a private string, then writes it changed by `map`; x's truth.
template <class Map>
bool map_text(const title_call& call, Map&& map) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    append_mapped(call.output, x.c_str(), x.length(), map);
    return truth;
}

bool is_caps_boundary(uint32_t c) {
    switch (c) {
        case ' ': case '\t': case '(': case ')': case ',': case '/': case '[': case '\\': case ']': case '|':
            return true;
        default:
            return false;
    }
}

bool caps_text(const title_call& call, bool lower_rest) {
    bool after_boundary = true;
    return map_text(call, [&](uint32_t c, uint32_t) {
        const bool boundary = is_caps_boundary(c);
        uint32_t mapped = c;
        if (!boundary) {
            if (after_boundary) {
                mapped = kpl::codepoint_to_upper(c);
            } else if (lower_rest) {
                mapped = kpl::codepoint_to_lower(c);
            }
        }
        after_boundary = boundary;
        return mapped;
    });
}

}  // namespace

bool f_upper(const title_call& call) {
    return map_text(call, [](uint32_t c, uint32_t) { return kpl::codepoint_to_upper(c); });
}

bool f_lower(const title_call& call) {
    return map_text(call, [](uint32_t c, uint32_t) { return kpl::codepoint_to_lower(c); });
}

bool f_caps(const title_call& call) { return caps_text(call, true); }

bool f_caps2(const title_call& call) { return caps_text(call, false); }

bool f_rot13(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    char buffer[256];
    uint32_t used = 0;
    for (const char* p = x.c_str(); *p; ++p) {
        char c = *p;
        if (c >= 'a' && c <= 'z') c = static_cast<char>('a' + (c - 'a' + 13) % 26);
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>('A' + (c - 'A' + 13) % 26);
        buffer[used++] = c;
        if (used == sizeof buffer) {
            call.output.append(buffer, used);
            used = 0;
        }
    }
    call.output.append(buffer, used);
    return truth;
}

// ---- $abbr ----

namespace {

bool is_abbr_separator(uint32_t c) {
    switch (c) {
        case ' ': case '\t': case '(': case ')': case ',': case '/': case '\\': case '|':
            return true;
        default:
            return false;
    }
}

// Ends the run that decides whether a word is kept whole; brackets end it although they belong to words.
bool is_abbr_terminator(char c) {
    switch (c) {
        case 0: case ' ': case ',': case '\t': case '(': case ')': case '[': case ']': case '|': case '/': case '\\':
            return true;
        default:
            return false;
    }
}

bool all_up_to_terminator(const char* p, const char* end, const char* allowed) {
    for (; p < end && !is_abbr_terminator(*p); ++p) {
        bool ok = false;
        for (const char* a = allowed; *a; ++a) ok = ok || *p == *a;
        if (!ok) return false;
    }
    return true;
}

bool starts_with_word_nocase(const char* p, const char* end, const char* word) {
    const char* q = p;
    for (; *word; ++word, ++q) {
        if (q >= end) return false;
        char c = *q;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c != *word) return false;
    }
    return q >= end || is_abbr_terminator(*q);
}

// Whether the word starting at p is written whole: Roman numerals (or a word starting with a bracket),
// "RPG" or "OST", or all digits.
bool keep_word_whole(const char* p, const char* end) {
    return all_up_to_terminator(p, end, "IVXLCDM") || starts_with_word_nocase(p, end, "RPG") ||
           starts_with_word_nocase(p, end, "OST") || all_up_to_terminator(p, end, "0123456789");
}

void abbreviate(kpl::utf8_string& out, const char* text, uint32_t length) {
    const char* end = text + length;
    const char* p = text;
    while (p < end) {
        uint32_t c = 0;
        size_t n = kpl::utf8_decode_char(p, &c, static_cast<size_t>(end - p));
        if (n == 0) c = static_cast<unsigned char>(*p), n = 1;
        if (is_abbr_separator(c)) {
            p += n;
            continue;
        }
        // The first character of a word; the rest of the word runs to the next separator.
        const char* word_end = p + n;
        while (word_end < end) {
            uint32_t d = 0;
            size_t m = kpl::utf8_decode_char(word_end, &d, static_cast<size_t>(end - word_end));
            if (m == 0) d = static_cast<unsigned char>(*word_end), m = 1;
            if (is_abbr_separator(d)) break;
            word_end += m;
        }
        if (keep_word_whole(p, end)) {
            out.append(p, static_cast<uint32_t>(word_end - p));
        } else {
            out.append(p, static_cast<uint32_t>(n));
        }
        p = word_end;
    }
}

}  // namespace

bool f_abbr(const title_call& call) {
    const uint32_t n = call.count();
    if (n != 1 && n != 2) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    if (n == 2) {
        const int64_t limit = low32(title_eval_arg_number(call, 1));
        if (static_cast<int64_t>(char_count(x.c_str(), x.length())) < limit) {
            call.output.append_string(x);
            return truth;
        }
    }
    abbreviate(call.output, x.c_str(), x.length());
    return truth;
}

// ---- code pages, checksums, characters ----

bool f_ansi(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    kpl::array<char> bytes;
    kpl::utf8_to_codepage(bytes, x.c_str(), x.length(), CP_ACP);
    auto back = kpl::ansi_to_utf8(bytes.data(), bytes.count() ? bytes.count() - 1 : 0);
    call.output.append_string(back);
    return truth;
}

bool f_ascii(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    kpl::array<char> bytes;
    kpl::utf8_to_codepage(bytes, x.c_str(), x.length(), 20127);
    // Code page 20127 yields 7-bit bytes only, which are UTF-8 as they are.
    if (bytes.count() > 1) call.output.append(bytes.data(), bytes.count() - 1);
    return truth;
}

bool f_crc32(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    kpl::string_append_uint64(call.output, crc32_update(0, x.c_str(), x.length()));
    return truth;
}

bool f_char(const title_call& call) {
    if (call.count() != 1) return false;
    const uint32_t c = low32u(title_eval_arg_number(call, 0));
    // Only Unicode scalar values make valid UTF-8: NUL (which would end the text), the surrogates and
    // values above U+10FFFF write nothing.
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
    kpl::string_append_codepoint(call.output, c);
    return false;
}

bool f_crlf(const title_call& call) {
    call.output.append("\r\n", 2);
    return false;
}

bool f_tab(const title_call& call) {
    if (call.count() != 1) {
        call.output.append("\t", 1);
        return false;
    }
    uint32_t n = low32u(title_eval_arg_number(call, 0));
    if (n > 16) n = 16;
    append_repeated(call.output, "\t", 1, n);
    return false;
}

bool f_fix_eol(const title_call& call) {
    const uint32_t n = call.count();
    if (n != 1 && n != 2) return false;
    const uint32_t start = call.output.length();
    const bool truth = title_eval_arg(call, 0, call.output);
    const char* text = call.output.c_str();
    for (uint32_t i = start; i < call.output.length(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            call.output.truncate(i);
            if (n == 2) {
                title_eval_arg(call, 1, call.output);
            } else {
                call.output.append(" (...)");
            }
            break;
        }
    }
    return truth;
}

// ---- prefix words ----

namespace {

// When `x` starts with `prefix` (characters compared lower-cased) followed by a blank: the byte length
// of the prefix in x. Otherwise -1.
int64_t prefix_length(const kpl::utf8_string& x, const char* prefix, uint32_t prefix_length_bytes) {
    const char* text = x.c_str();
    const uint32_t length = x.length();
    uint32_t xi = 0, pi = 0;
    while (pi < prefix_length_bytes) {
        if (xi >= length) return -1;
        uint32_t a = 0, b = 0;
        size_t na = kpl::utf8_decode_char(text + xi, &a, length - xi);
        size_t nb = kpl::utf8_decode_char(prefix + pi, &b, prefix_length_bytes - pi);
        if (na == 0) a = static_cast<unsigned char>(text[xi]), na = 1;
        if (nb == 0) b = static_cast<unsigned char>(prefix[pi]), nb = 1;
        if (kpl::codepoint_to_lower(a) != kpl::codepoint_to_lower(b)) return -1;
        xi += static_cast<uint32_t>(na);
        pi += static_cast<uint32_t>(nb);
    }
    if (xi >= length || text[xi] != ' ') return -1;
    return xi;
}

bool prefix_word(const title_call& call, bool swap) {
    const uint32_t n = call.count();
    if (n < 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    int64_t found = -1;
    if (n == 1) {
        found = prefix_length(x, "the", 3);
        if (found < 0) found = prefix_length(x, "a", 1);
    } else {
        kpl::utf8_string_pow2 prefix;
        for (uint32_t i = 1; i < n && found < 0; ++i) {
            prefix.reset();
            title_eval_arg(call, i, prefix);
            // An empty prefix would only strip a leading blank; it never matches.
            if (!prefix.is_empty()) found = prefix_length(x, prefix.c_str(), prefix.length());
        }
    }
    if (found < 0) {
        call.output.append_string(x);
        return truth;
    }
    const uint32_t cut = static_cast<uint32_t>(found);
    call.output.append(x.c_str() + cut + 1, x.length() - cut - 1);
    if (swap) {
        call.output.append(", ", 2);
        call.output.append(x.c_str(), cut);
    }
    return truth;
}

}  // namespace

bool f_stripprefix(const title_call& call) { return prefix_word(call, false); }

bool f_swapprefix(const title_call& call) { return prefix_word(call, true); }

}  // namespace title_functions
