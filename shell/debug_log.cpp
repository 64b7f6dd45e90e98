#include "shell/debug_log.h"

#include <windows.h>

#include "foundation/kpl/codepage.h"

namespace {

kpl::utf8_string* g_capture = nullptr;

}  // namespace

void debug_log_text(const char* text) {
    if (g_capture) g_capture->append_cstr(text);
    // OutputDebugStringW hands its text on in the system code page anyway (Windows XP converts, Wine 8
    // shows only what arrives through the ANSI form), so the text goes that way directly.
    kpl::array<char> ansi;
    kpl::utf8_to_codepage(ansi, text, kpl::text_npos, CP_ACP);
    OutputDebugStringA(ansi.count() ? ansi.data() : "");
}

void debug_log(const char* text) {
    kpl::utf8_string_pow2 line(text);
    line << "\n";
    debug_log_text(line.c_str());
}

kpl::utf8_string* debug_log_capture(kpl::utf8_string* sink) noexcept {
    kpl::utf8_string* previous = g_capture;
    g_capture = sink;
    return previous;
}
