#include "foundation/kpl/win32_errors.h"

#include <windows.h>

namespace {

// Keeps the thread's last-error value across a scope.
class last_error_keeper {
public:
    last_error_keeper() noexcept : m_saved(GetLastError()) {}
    ~last_error_keeper() { SetLastError(m_saved); }

private:
    DWORD m_saved;
};

bool is_blank(wchar_t c) noexcept { return c == L'\t' || c == L'\n' || c == L'\r' || c == L' '; }

void append_unknown(kpl::utf8_string& out) { out.append_cstr("Unknown error code"); }

}  // namespace

bool win32_error_text(uint32_t code, kpl::utf8_string& out) {
    last_error_keeper keep;
    wchar_t buffer[512];
    DWORD units = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                 buffer, 512, nullptr);
    if (units == 0 || units > 511) return false;
    buffer[units] = 0;
    for (DWORD i = 0; i < units; ++i)
        if (is_blank(buffer[i])) buffer[i] = L' ';
    while (units > 0 && buffer[units - 1] == L' ') --units;

    int bytes = units ? WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(units), nullptr, 0, nullptr, nullptr)
                      : 0;
    if (units && bytes <= 0) return false;
    kpl::utf8_string_pow2 text;
    if (bytes > 0) {
        char* p = text.begin_write(static_cast<uint32_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(units), p, bytes, nullptr, nullptr);
        text.end_write();
    }
    out.set_string(text);
    return true;
}

kpl::utf8_string_pow2 win32_error_text_or_code(uint32_t code) {
    last_error_keeper keep;
    kpl::utf8_string_pow2 text;
    if (code == 0 || !win32_error_text(code, text)) {
        text.assign_cstr("Unknown error code (");
        text.append_uint(code);
        text.append_cstr(")");
    }
    return text;
}

kpl::utf8_string_pow2 win32_error_text_with_code(uint32_t code) {
    last_error_keeper keep;
    kpl::utf8_string_pow2 text;
    if (!win32_error_text(code, text)) append_unknown(text);
    text.append_hex_code(code);
    return text;
}

exception_win32::exception_win32(uint32_t code)
    : exception_with_message(win32_error_text_or_code(code).c_str()), m_code(code) {}

void exception_win32::throw_last_error() { throw exception_win32(GetLastError()); }

exception_com::exception_com(int32_t hr)
    : exception_with_message(win32_error_text_with_code(static_cast<uint32_t>(hr)).c_str()), m_code(hr) {}
