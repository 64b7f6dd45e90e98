#include "foundation/win32/win_string.h"

#include "foundation/kpl/text_lookup.h"

void utf8_to_wide(const char* text, kpl::array<wchar_t>& out) {
    const size_t units = kpl::utf16_length_of_utf8(text ? text : "");
    out.resize_exact(uint32_t(units));
    kpl::utf8_to_utf16(out.data(), units, text ? text : "");
}

kpl::utf8_string_pow2 utf16_to_utf8_string(const wchar_t* text, size_t length) {
    kpl::utf8_string_pow2 out;
    if (text == nullptr) return out;
    const size_t bytes = kpl::utf8_length_of_utf16(text, length);
    char* buffer = out.begin_write(uint32_t(bytes - 1));
    kpl::utf16_to_utf8_counted(buffer, bytes, text, length);
    out.end_write();
    return out;
}

win_string_param::win_string_param(const char* text) : m_text(text) {
    if (text != nullptr && !is_id()) utf8_to_wide(text, m_wide);
}

const wchar_t* win_string_param::get() const {
    if (m_text == nullptr) return nullptr;
    if (is_id()) return reinterpret_cast<const wchar_t*>(m_text);
    return m_wide.data();
}

localized_wide_string::localized_wide_string(const char* key) {
    kpl::utf8_string_pow2 text;
    if (kpl::lookup_text(key, text)) utf8_to_wide(text.c_str(), m_wide);
}
