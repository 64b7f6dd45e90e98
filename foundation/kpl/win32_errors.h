#pragma once
// Texts of Win32 error codes and COM results, and the exceptions that carry them.
//
// The system text of a code is the system's message for it (default language, at most 512 UTF-16 units)
// with every tab, line feed, carriage return and space turned into a space and the trailing ones cut
// (leading ones stay), converted to UTF-8. These routines leave the thread's last-error value as they
// found it.
//
//     win32_error_text_or_code(0) == "Unknown error code (0)"
//     exception_win32(5).what()   -> the system text of 5, e.g. "Access denied."
//     exception_com(0x80040155)   -> "<system text or Unknown error code> (0x80040155)"
//     check_hresult(S_FALSE);        // does nothing; negative results throw exception_com

#include <cstdint>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"

// The system text of `code` (0 included) into `out` and true; false, with `out` unchanged, when the system
// has no message for it.
bool win32_error_text(uint32_t code, kpl::utf8_string& out);

// The system text of `code`, or "Unknown error code (" + decimal code + ")" when the code is 0 or has no
// text. The text of exception_win32.
kpl::utf8_string_pow2 win32_error_text_or_code(uint32_t code);

// The system text of `code`, or "Unknown error code", followed by " (0x" + 8 upper-case hex digits + ")".
// The text of exception_com.
kpl::utf8_string_pow2 win32_error_text_with_code(uint32_t code);

// A failed Win32 call: the error code and its system text.
class exception_win32 : public kpl::exception_with_message {
public:
    explicit exception_win32(uint32_t code);
    exception_win32(uint32_t code, const char* text) noexcept : exception_with_message(text), m_code(code) {}

    uint32_t code() const noexcept { return m_code; }

    // Throws exception_win32 for the calling thread's last Win32 error.
    [[noreturn]] static void throw_last_error();

private:
    uint32_t m_code;
};

// A failed COM call: the HRESULT and its text.
class exception_com : public kpl::exception_with_message {
public:
    explicit exception_com(int32_t hr);
    // A caller-made text.
    exception_com(int32_t hr, const char* text) noexcept : exception_with_message(text), m_code(hr) {}

    int32_t code() const noexcept { return m_code; }

    static exception_com construct(int32_t hr) { return exception_com(hr); }

private:
    int32_t m_code;
};

// Throws exception_com when `hr` is negative; does nothing otherwise.
inline void check_hresult(int32_t hr) {
    if (hr < 0) throw exception_com(hr);
}
