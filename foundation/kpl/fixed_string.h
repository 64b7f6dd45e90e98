#pragma once
// kpl::utf8_string_fixed<N>: the kpl::utf8_string interface over an N-byte buffer inside the object,
// for short numbers and messages built on the stack. The buffer holds the terminator, so the text
// holds at most N - 1 bytes; the program uses N = 32, 63 and 127.
//
//     kpl::utf8_string_fixed32 s("abc");
//     s.append(std::string(28, 'x').c_str());   // 31 bytes: fits
//     s.append("y");                            // would make 32: throws kpl::exception_overflow
//     s.begin_write(32);                        // null: 33 bytes would not fit
//
// Appending or assigning past the capacity throws "Overflow" and leaves the text as it was;
// truncate clamps; begin_write (n) gives null when n + 1 bytes would not fit and otherwise zero-fills
// the whole buffer; end_write takes the length from the first zero byte.

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"

#include <cstring>

namespace kpl {

template <uint32_t N>
class utf8_string_fixed final : public utf8_string {
    static_assert(N >= 2, "a fixed string needs room for one byte and the terminator");

public:
    static constexpr uint32_t max_length = N - 1;

    utf8_string_fixed() noexcept { m_buffer[0] = 0; }
    utf8_string_fixed(const char* text) : utf8_string_fixed() { assign(text, npos); }
    utf8_string_fixed(const char* text, uint32_t max) : utf8_string_fixed() { assign(text, max); }
    utf8_string_fixed(const utf8_string_fixed& other) noexcept : utf8_string() {
        std::memcpy(m_buffer, other.m_buffer, other.m_length + 1);
        m_length = other.m_length;
    }
    utf8_string_fixed& operator=(const utf8_string_fixed& other) noexcept {
        std::memmove(m_buffer, other.m_buffer, other.m_length + 1);
        m_length = other.m_length;
        return *this;
    }
    utf8_string_fixed& operator=(const char* text) {
        assign(text, npos);
        return *this;
    }
    using utf8_string::operator=;

    void append(const char* text, uint32_t max = npos) override {
        uint32_t n = strnlen(text, max);
        if (n > max_length - m_length) throw_overflow();
        std::memmove(m_buffer + m_length, text, n);  // the text may lie in this buffer
        m_length += n;
        m_buffer[m_length] = 0;
    }
    const char* c_str() const override { return m_buffer; }
    void assign(const char* text, uint32_t max = npos) override {
        uint32_t n = strnlen(text, max);
        if (n > max_length) throw_overflow();
        std::memmove(m_buffer, text, n);
        m_length = n;
        m_buffer[m_length] = 0;
    }
    void truncate(uint32_t n) override {
        if (n < m_length) {
            m_length = n;
            m_buffer[n] = 0;
        }
    }
    uint32_t length() const override { return m_length; }
    char* begin_write(uint32_t n) override {
        if (n >= N) return nullptr;
        std::memset(m_buffer, 0, N);
        m_length = 0;
        return m_buffer;
    }
    void end_write() override {
        m_buffer[N - 1] = 0;
        m_length = static_cast<uint32_t>(std::strlen(m_buffer));
    }

private:
    char m_buffer[N];
    uint32_t m_length = 0;
};

using utf8_string_fixed32 = utf8_string_fixed<32>;
using utf8_string_fixed63 = utf8_string_fixed<63>;
using utf8_string_fixed127 = utf8_string_fixed<127>;

}  // namespace kpl
