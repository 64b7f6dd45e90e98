#include "foundation/win32/wildcard.h"

#include <cstdint>

#include "foundation/kpl/utf8.h"
#include "foundation/win32/text_nocase.h"

namespace {

// The next character of a text (false at its end or at invalid UTF-8); advances p.
bool next_char(const char*& p, uint32_t& c) {
    const size_t n = kpl::utf8_decode_char(p, &c);
    if (n == 0) return false;
    p += n;
    return true;
}

bool pattern_end(const char* p, bool as_list) { return *p == 0 || (as_list && *p == ';'); }

}  // namespace

bool wildcard_match(const char* text, const char* pattern, bool as_list) {
    // Greedy walk with one resumption point: the last '*' seen and the text position it has consumed up to.
    // Resuming there with one more character consumed tries every split, shortest first, in linear memory.
    const char* t = text;
    const char* p = pattern;
    const char* star_pattern = nullptr;
    const char* star_text = nullptr;
    for (;;) {
        if (!pattern_end(p, as_list) && *p == '*') {
            star_pattern = ++p;
            star_text = t;
            continue;
        }
        const char* t_next = t;
        uint32_t ct = 0;
        const bool have_text = next_char(t_next, ct);
        if (!pattern_end(p, as_list) && have_text) {
            const char* p_next = p;
            uint32_t cp = 0;
            if (next_char(p_next, cp) &&
                (cp == '?' || cp == ct || unicode_char_to_lower(cp) == unicode_char_to_lower(ct))) {
                t = t_next;
                p = p_next;
                continue;
            }
        } else if (pattern_end(p, as_list) && !have_text) {
            return true;
        }
        // Mismatch: let the last '*' swallow one more character, if there is one.
        if (star_pattern == nullptr) return false;
        uint32_t skipped = 0;
        if (!next_char(star_text, skipped)) return false;
        t = star_text;
        p = star_pattern;
    }
}

bool wildcard_has_wildcards(const char* pattern) {
    for (const char* p = pattern; *p; ++p)
        if (*p == '*' || *p == '?') return true;
    return false;
}
