#include "foundation/win32/text_nocase.h"

#include <windows.h>

#include "foundation/kpl/utf8.h"

namespace {

// A counted UTF-8 cursor; a text ends at its length, at a zero byte or at an invalid sequence.
struct utf8_cursor {
    const char* p;
    const char* end;  // null: up to the terminator

    utf8_cursor(const char* text, size_t length)
        : p(text), end(length == size_t(-1) ? nullptr : text + length) {}

    // The next character, or false at the end of the text.
    bool next(uint32_t& c) {
        const size_t left = end ? size_t(end - p) : size_t(-1);
        if (left == 0) return false;
        const size_t n = kpl::utf8_decode_char(p, &c, left);
        if (n == 0) return false;
        p += n;
        return true;
    }
};

uint32_t fold_bmp(uint32_t c, bool upper) {
    if (c < 128) {
        if (upper) return c >= 'a' && c <= 'z' ? c - 32 : c;
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    }
    if (c >= 0x10000) return c;
    // With a zero high word the system takes the argument as one character and answers its mapping.
    const ULONG_PTR folded = upper ? ULONG_PTR(CharUpperW(reinterpret_cast<LPWSTR>(ULONG_PTR(c))))
                                   : ULONG_PTR(CharLowerW(reinterpret_cast<LPWSTR>(ULONG_PTR(c))));
    return uint32_t(folded & 0xFFFF);
}

int compare_folded(utf8_cursor a, utf8_cursor b, size_t max_chars) {
    for (size_t i = 0; i < max_chars; ++i) {
        uint32_t ca = 0, cb = 0;
        const bool more_a = a.next(ca), more_b = b.next(cb);
        if (!more_a || !more_b) return more_a ? 1 : more_b ? -1 : 0;
        if (ca == cb) continue;
        ca = unicode_char_to_lower(ca);
        cb = unicode_char_to_lower(cb);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return 0;
}

size_t utf16_of_char(uint32_t c, wchar_t out[3]) {
    size_t n = 0;
    if (c >= 0x10000 && c <= 0x10FFFF) {
        out[n++] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
        out[n++] = wchar_t(0xDC00 + (c & 0x3FF));
    } else if (c < 0x10000) {
        out[n++] = wchar_t(c);
    } else {
        out[n++] = L'?';
    }
    out[n] = 0;
    return n;
}

void append_char(kpl::utf8_string& out, uint32_t c) {
    char buffer[8];
    const size_t n = kpl::utf8_encode_char(c, buffer);
    out.append(buffer, n);
}

void append_folded(kpl::utf8_string& out, const char* text, size_t n, bool upper) {
    utf8_cursor cursor(text, n);
    uint32_t c = 0;
    while (cursor.next(c)) append_char(out, upper ? unicode_char_to_upper(c) : unicode_char_to_lower(c));
}

// Length in bytes of the match of pattern at text, or 0 when it does not match there.
size_t match_at(const char* text, const char* pattern) {
    utf8_cursor t(text, size_t(-1)), p(pattern, size_t(-1));
    uint32_t cp = 0;
    while (p.next(cp)) {
        uint32_t ct = 0;
        if (!t.next(ct)) return 0;
        if (ct != cp && unicode_char_to_lower(ct) != unicode_char_to_lower(cp)) return 0;
    }
    return size_t(t.p - text);
}

}  // namespace

uint32_t unicode_char_to_lower(uint32_t c) { return fold_bmp(c, false); }
uint32_t unicode_char_to_upper(uint32_t c) { return fold_bmp(c, true); }

int utf8_compare_nocase(const char* a, const char* b) {
    utf8_cursor ta(a, size_t(-1)), tb(b, size_t(-1));
    for (;;) {
        uint32_t ca = 0, cb = 0;
        const bool more_a = ta.next(ca), more_b = tb.next(cb);
        if (!more_a && !more_b) return 0;
        if (!more_a) ca = 0;
        if (!more_b) cb = 0;
        if (ca == cb) continue;
        wchar_t wa[3], wb[3];
        utf16_of_char(ca, wa);
        utf16_of_char(cb, wb);
        if (!more_a) wa[0] = 0;
        if (!more_b) wb[0] = 0;
        const int result = lstrcmpiW(wa, wb);
        if (result != 0) return result;
        if (!more_a || !more_b) return more_a ? 1 : -1;
    }
}

int utf8_compare_nocase_fast(const char* a, const char* b) {
    return compare_folded(utf8_cursor(a, size_t(-1)), utf8_cursor(b, size_t(-1)), size_t(-1));
}

int utf8_compare_nocase_len(const char* a, size_t length_a, const char* b, size_t length_b) {
    return compare_folded(utf8_cursor(a, length_a), utf8_cursor(b, length_b), size_t(-1));
}

int utf8_compare_nocase_n(const char* a, const char* b, size_t n) {
    return compare_folded(utf8_cursor(a, size_t(-1)), utf8_cursor(b, size_t(-1)), n);
}

bool utf8_starts_with_nocase(const char* text, const char* prefix, size_t prefix_length) {
    utf8_cursor t(text, size_t(-1)), p(prefix, prefix_length);
    uint32_t cp = 0;
    while (p.next(cp)) {
        uint32_t ct = 0;
        if (!t.next(ct)) return false;
        if (ct != cp && unicode_char_to_lower(ct) != unicode_char_to_lower(cp)) return false;
    }
    return true;
}

size_t utf8_replace_nocase(kpl::utf8_string& out, const char* text, const char* pattern, const char* replacement) {
    if (pattern == nullptr || *pattern == 0) return 0;
    size_t count = 0;
    const char* copied = text;  // start of the text not yet appended
    utf8_cursor cursor(text, size_t(-1));
    for (;;) {
        const char* here = cursor.p;
        const size_t matched = match_at(here, pattern);
        if (matched != 0) {
            out.append(copied, size_t(here - copied));
            out.append(replacement);
            ++count;
            cursor.p = here + matched;
            copied = cursor.p;
            continue;
        }
        uint32_t c = 0;
        if (!cursor.next(c)) break;
    }
    out.append(copied, size_t(cursor.p - copied));
    return count;
}

void utf8_to_lower(kpl::utf8_string& out, const char* text, size_t n) { append_folded(out, text, n, false); }
void utf8_to_upper(kpl::utf8_string& out, const char* text, size_t n) { append_folded(out, text, n, true); }
