#include "foundation/kpl/text_compare.h"

#include "foundation/kpl/case_mapping.h"

namespace kpl {

namespace {

signed char fold_ascii(char c) { return static_cast<signed char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); }

// Next code point of a text; an invalid byte stands for itself and takes one byte.
uint32_t next_code_point(const char*& p) {
    uint32_t c;
    size_t n = utf8_decode_char(p, &c);
    if (n == 0) {
        c = static_cast<unsigned char>(*p);
        n = c ? 1 : 0;
    }
    p += n;
    return c;
}

}  // namespace

int strcmp(const char* a, const char* b) {
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
    while (*x && *x == *y) ++x, ++y;
    return *x < *y ? -1 : (*x > *y ? 1 : 0);
}

int compare_counted(const char* a, size_t length_a, const char* b, size_t length_b) {
    size_t n = length_a < length_b ? length_a : length_b;
    for (size_t i = 0; i < n; ++i) {
        signed char x = static_cast<signed char>(a[i]), y = static_cast<signed char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return length_a < length_b ? -1 : (length_a > length_b ? 1 : 0);
}

int stricmp_ascii(const char* a, const char* b) { return stricmp_ascii_counted(a, text_npos, b, text_npos); }

int stricmp_ascii_counted(const char* a, size_t length_a, const char* b, size_t length_b) {
    size_t i = 0;
    while (true) {
        signed char x = i < length_a ? fold_ascii(a[i]) : 0;
        signed char y = i < length_b ? fold_ascii(b[i]) : 0;
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
        ++i;
    }
}

int stricmp_utf8(const char* a, const char* b) {
    while (true) {
        uint32_t x = codepoint_to_lower(next_code_point(a));
        uint32_t y = codepoint_to_lower(next_code_point(b));
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

ptrdiff_t find_char_counted(const char* text, size_t length, char c) {
    for (size_t i = 0; i < length && text[i]; ++i) {
        if (text[i] == c) return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

ptrdiff_t find_char_from(const char* text, char c, size_t start) {
    for (size_t i = 0; i < start; ++i) {
        if (!text[i]) return -1;  // start lies past the end of the text
    }
    ptrdiff_t r = find_char_counted(text + start, text_npos, c);
    return r < 0 ? -1 : r + static_cast<ptrdiff_t>(start);
}

ptrdiff_t string_find_char(const utf8_string& text, char c) { return find_char_counted(text.c_str(), text.length(), c); }

ptrdiff_t find_substring(const char* text, size_t length, const char* pattern, size_t start) {
    size_t real = 0;
    while (real < length && text[real]) ++real;
    size_t plen = 0;
    while (pattern[plen]) ++plen;
    if (start > real || plen > real - start) return -1;
    for (size_t i = start; i + plen <= real; ++i) {
        size_t k = 0;
        while (k < plen && text[i + k] == pattern[k]) ++k;
        if (k == plen) return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

ptrdiff_t find_last_of(const char* text, char c) {
    ptrdiff_t last = -1;
    for (ptrdiff_t i = 0; text[i]; ++i) {
        if (text[i] == c) last = i;
    }
    return last;
}

bool starts_with(const char* text, const char* prefix) {
    while (*prefix) {
        if (*text++ != *prefix++) return false;
    }
    return true;
}

bool string_ends_with_char(const utf8_string& text, char c) {
    uint32_t n = text.length();
    return n > 0 && text.c_str()[n - 1] == c;
}

bool has_line_break(const char* text) {
    for (; *text; ++text) {
        if (*text == '\r' || *text == '\n') return true;
    }
    return false;
}

bool cut_at_line_break(utf8_string& text) {
    const char* s = text.c_str();
    for (uint32_t i = 0; s[i]; ++i) {
        if (s[i] == '\r' || s[i] == '\n') {
            text.truncate(i);
            text.append(" (...)");
            return true;
        }
    }
    return false;
}

uint32_t string_replace_byte(utf8_string& text, char from, char to) {
    if (from == 0) return 0;
    utf8_string_pow2 result;
    const char* s = text.c_str();
    uint32_t n = text.length(), count = 0, run = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (s[i] != from) continue;
        result.append(s + run, i - run);
        if (to) result.append(&to, 1);
        run = i + 1;
        ++count;
    }
    if (count == 0) return 0;
    result.append(s + run, n - run);
    text.assign(result.c_str(), result.length());
    return count;
}

}  // namespace kpl
