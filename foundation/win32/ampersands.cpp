#include "foundation/win32/ampersands.h"

void escape_ampersands(const char* text, kpl::utf8_string& out) {
    const char* run = text;
    for (const char* p = text; *p; ++p) {
        if (*p != '&') continue;
        out.append(run, size_t(p - run + 1));
        out.append("&", 1);
        run = p + 1;
    }
    out.append(run);
}

void escape_ampersands_for_label(const char* text, kpl::utf8_string& out) {
    const char* run = text;
    for (const char* p = text; *p; ++p) {
        if (*p != '&') continue;
        out.append(run, size_t(p - run));
        out.append(p == text || p[-1] != '&' ? "&&&" : "&&");
        run = p + 1;
    }
    out.append(run);
}
