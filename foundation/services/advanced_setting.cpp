#include "foundation/services/advanced_setting.h"

#include "foundation/kpl/number_format.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/services/main_thread.h"

namespace {

// (text, length) with the length cut at the text's first zero byte, as the string types count it.
uint32_t counted_length(const char* text, size_t length) {
    if (!text) return 0;
    uint32_t max = length >= kpl::utf8_string::npos ? kpl::utf8_string::npos - 1 : static_cast<uint32_t>(length);
    return kpl::strnlen(text, max);
}

}  // namespace

void advanced_text_setting::reset() {
    main_thread::assert_current();
    m_value = m_default;
}

void advanced_text_setting::get_text_value(kpl::utf8_string& out) {
    main_thread::assert_current();
    out = m_value;
}

void advanced_text_setting::set_text_value(const char* text, size_t length) {
    main_thread::assert_current();
    m_value.assign(text, counted_length(text, length));
}

void advanced_locked_text_setting::reset() {
    kpl::critical_section_scope lock(m_lock);
    m_value = m_default;
}

void advanced_locked_text_setting::get_text_value(kpl::utf8_string& out) {
    kpl::critical_section_scope lock(m_lock);
    out = m_value;
}

void advanced_locked_text_setting::set_text_value(const char* text, size_t length) {
    kpl::critical_section_scope lock(m_lock);
    m_value.assign(text, counted_length(text, length));
}

uint64_t advanced_integer_setting::value_from_text(const char* text, size_t length) const noexcept {
    uint64_t value = text ? kpl::parse_uint64_last_digits(text, counted_length(text, length)) : 0;
    if (value < m_minimum) return m_minimum;
    if (value > m_maximum) return m_maximum;
    return value;
}

void advanced_integer_setting::get_text_value(kpl::utf8_string& out) { out = kpl::format_uint64(m_value).c_str(); }

void advanced_integer_setting::set_text_value(const char* text, size_t length) {
    m_value = value_from_text(text, length);
}

void advanced_integer_setting::get_default(kpl::utf8_string& out) { out = kpl::format_uint64(m_default).c_str(); }

void advanced_integer_setting::normalize(kpl::utf8_string& inout) {
    uint64_t value = value_from_text(inout.c_str(), inout.length());
    inout = kpl::format_uint64(value).c_str();
}
