#pragma once
// Text at the Windows boundary: UTF-8 on this side, UTF-16 for the system.
//
// win_string_param is the form in which every function of this layer takes a text for Windows: a UTF-8
// text, null, or a 16-bit string-table or resource id smuggled in a pointer (a value below 0x10000, as
// MAKEINTRESOURCE makes it):
//
//   SetWindowTextW(w, win_string_param("Größe").get());           // converted to UTF-16
//   message_box(w, win_string_param::from_id(IDS_QUESTION), ...); // passed on as MAKEINTRESOURCEW(id)
//   win_string_param(nullptr).get() == nullptr;  win_string_param("").get() is L""
//
// Conversions stop at the first invalid UTF-8 sequence.

#include <cstddef>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/utf8.h"

class win_string_param {
public:
    win_string_param(const char* text);
    win_string_param(const kpl::utf8_string& text) : win_string_param(text.c_str()) {}
    win_string_param(std::nullptr_t) : win_string_param(static_cast<const char*>(nullptr)) {}
    static win_string_param from_id(unsigned id) {
        return win_string_param(reinterpret_cast<const char*>(static_cast<size_t>(id & 0xFFFF)));
    }
    win_string_param(const win_string_param&) = delete;
    win_string_param& operator=(const win_string_param&) = delete;
    win_string_param(win_string_param&&) = default;

    // The argument for the Windows call: null, MAKEINTRESOURCEW(id), or the zero-terminated UTF-16 text.
    const wchar_t* get() const;
    // The UTF-8 text; null for null and for an id.
    const char* utf8() const { return is_id() ? nullptr : m_text; }
    bool is_id() const { return m_text != nullptr && reinterpret_cast<size_t>(m_text) < 0x10000; }
    unsigned id() const { return is_id() ? unsigned(reinterpret_cast<size_t>(m_text)) : 0; }

private:
    const char* m_text;
    kpl::array<wchar_t> m_wide;
};

// The UTF-16 copy of the language table's text for a key; empty (L"") when the key is missing.
class localized_wide_string {
public:
    explicit localized_wide_string(const char* key);
    const wchar_t* get() const { return m_wide.count() ? m_wide.data() : L""; }

private:
    kpl::array<wchar_t> m_wide;
};

// UTF-16 text (up to length units or its first zero) as a new UTF-8 string.
kpl::utf8_string_pow2 utf16_to_utf8_string(const wchar_t* text, size_t length = kpl::text_npos);
// UTF-8 text as zero-terminated UTF-16 in out (replacing its content).
void utf8_to_wide(const char* text, kpl::array<wchar_t>& out);
