#include "foundation/kpl/string.h"

#include <cstdint>
#include <cstring>

namespace kpl {

uint32_t strnlen(const char* text, uint32_t max) noexcept {
    if (!text) return 0;
    uint32_t n = 0;
    while (n < max && text[n] != 0) ++n;
    return n;
}

// ---- helpers of the interface ----

void utf8_string::append_int(int64_t value) {
    if (value < 0) {
        append_char('-');
        append_uint(0 - static_cast<uint64_t>(value));
    } else {
        append_uint(static_cast<uint64_t>(value));
    }
}

void utf8_string::append_uint(uint64_t value) {
    char digits[24];
    uint32_t n = 0;
    do {
        digits[sizeof digits - 1 - n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    append(digits + sizeof digits - n, n);
}

void utf8_string::append_hex_code(uint32_t code) {
    static const char hex[] = "0123456789ABCDEF";
    char text[16] = " (0x";
    for (int i = 0; i < 8; ++i) text[4 + i] = hex[(code >> (28 - 4 * i)) & 0xF];
    text[12] = ')';
    text[13] = 0;
    append(text, 13);
}

bool utf8_string::equals(const char* text) const {
    if (!text) text = "";
    uint32_t n = length();
    return strnlen(text, n + 1) == n && std::memcmp(c_str(), text, n) == 0;
}

bool utf8_string::equals(const utf8_string& other) const {
    uint32_t n = length();
    return n == other.length() && std::memcmp(c_str(), other.c_str(), n) == 0;
}

// ---- shared heap layout ----

utf8_string_heap::utf8_string_heap(utf8_string_heap&& other) noexcept
    : utf8_string(), m_buffer(std::move(other.m_buffer)), m_length(other.m_length) {
    other.m_length = 0;
}

void utf8_string_heap::move_from(utf8_string_heap& other) noexcept {
    if (this == &other) return;
    m_buffer = std::move(other.m_buffer);
    m_length = other.m_length;
    other.m_length = 0;
}

bool utf8_string_heap::points_into_buffer(const char* text) const noexcept {
    if (!text || !m_buffer.data()) return false;
    uintptr_t p = reinterpret_cast<uintptr_t>(text);
    uintptr_t begin = reinterpret_cast<uintptr_t>(m_buffer.data());
    return p >= begin && p < begin + m_buffer.count();
}

void utf8_string_heap::append(const char* text, uint32_t max) {
    if (points_into_buffer(text)) {
        utf8_string_tight copy(text, max);
        append(copy.c_str(), copy.length());
        return;
    }
    uint32_t added = strnlen(text, max);
    if (added > UINT32_MAX - 1 - m_length) throw_bad_alloc();
    uint32_t n = m_length + added;
    fit_buffer(n);
    if (added) std::memcpy(m_buffer.data() + m_length, text, added);
    m_buffer[n] = 0;
    m_length = n;
}

void utf8_string_heap::assign(const char* text, uint32_t max) {
    if (points_into_buffer(text)) {
        utf8_string_tight copy(text, max);
        assign(copy.c_str(), copy.length());
        return;
    }
    uint32_t n = strnlen(text, max);
    if (n == UINT32_MAX) throw_bad_alloc();
    fit_buffer(n);
    if (n) std::memcpy(m_buffer.data(), text, n);
    m_buffer[n] = 0;
    m_length = n;
}

void utf8_string_heap::truncate(uint32_t n) {
    if (m_length <= n) return;
    fit_buffer(n);
    m_buffer[n] = 0;
    m_length = n;
}

char* utf8_string_heap::begin_write(uint32_t n) {
    if (n == npos) throw_overflow();
    fit_buffer(n);
    std::memset(m_buffer.data(), 0, m_buffer.count());
    m_length = 0;
    return m_buffer.data();
}

void utf8_string_heap::end_write() {
    if (!m_buffer.data() || m_buffer.count() == 0) return;
    uint32_t n = strnlen(m_buffer.data(), m_buffer.count());
    if (n == m_buffer.count()) {
        // The writer filled the terminator's byte too: keep the text inside the buffer.
        n = m_buffer.count() - 1;
        m_buffer[n] = 0;
    }
    fit_buffer(n);
    m_buffer[n] = 0;
    m_length = n;
}

// ---- policies ----

void utf8_string_pow2::fit_buffer(uint32_t n) {
    if (n == UINT32_MAX) throw_bad_alloc();
    m_buffer.resize_pow2(n + 1);
}

void utf8_string_tight::fit_buffer(uint32_t n) {
    uint32_t size = m_buffer.count();
    if (size < n + 1 || n == UINT32_MAX) {
        if (n > UINT32_MAX - 17) throw_bad_alloc();
        m_buffer.resize_exact(n + 17);
    } else if (static_cast<uint64_t>(n) + 33 >= size) {
        // keep
    } else {
        m_buffer.resize_exact(n + 1);
    }
}

// ---- free helpers ----

void string_reset(utf8_string_heap& s) noexcept {
    s.m_buffer.clear();
    s.m_length = 0;
}

void string_set_n(utf8_string_heap& s, const char* text, uint32_t n) {
    if (n == 0) {
        string_reset(s);
        return;
    }
    if (n == UINT32_MAX) throw_bad_alloc();
    if (s.points_into_buffer(text)) {
        array<char> copy;
        copy.resize_exact(n);
        std::memcpy(copy.data(), text, n);
        string_set_n(s, copy.data(), n);
        return;
    }
    s.m_buffer.resize_exact(n + 1);
    std::memcpy(s.m_buffer.data(), text, n);
    s.m_buffer[n] = 0;
    s.m_length = n;
}

void string_set_bounded(utf8_string_heap& s, const char* text, uint32_t max) {
    string_set_n(s, text, strnlen(text, max));
}

void path_add_trailing_backslash(utf8_string& s) {
    uint32_t n = s.length();
    if (n == 0 || s.c_str()[n - 1] != '\\') s.append("\\", 1);
}

}  // namespace kpl
