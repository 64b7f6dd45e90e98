#pragma once
// kpl::utf8_string: the text type of the whole program (UTF-8 bytes, always zero-terminated).
//
// The interface has seven virtual operations, in this order: append, c_str, assign, truncate, length,
// begin_write, end_write. Two implementations share one layout {buffer (kpl::array of bytes), length}
// and differ only in how they size the buffer:
//
//   kpl::utf8_string_pow2   builders (messages, text built by appending): buffer count = length + 1,
//                           capacity doubles and never shrinks. Appending one byte at a time from empty
//                           gives capacities 2, 4, 4, 8, 8, 8, 8, 16.
//   kpl::utf8_string_tight  stored strings (array elements, copies, record fields): buffer count ==
//                           capacity == B, refitted after every change to a new length n:
//                           B < n + 1 -> n + 17; else n + 33 >= B -> keep; else n + 1.
//                           Assigning 10 bytes to a fresh string gives B = 27; then 40 bytes 57;
//                           24 bytes keeps 57; 23 bytes shrinks to 24.
//
//     kpl::utf8_string_tight name("abc");
//     name.append_cstr("def");                  // "abcdef"
//     kpl::utf8_string_pow2 msg;
//     msg << "Error #" << 42;                   // "Error #42"
//     msg.append("xyz", 2);                     // "Error #42xy"
//
// A `max` byte count of npos (-1) means "up to the terminating zero"; counting always stops at the first
// zero byte. A source text may lie inside the string's own buffer (appending a string to itself works).
// An empty string's c_str() is "" (never null), and an empty string built without text allocates nothing.
// A null text pointer reads as "". Allocation failure throws std::bad_alloc ("bad allocation") and
// leaves the string as it was. Not thread-safe.

#include <cstdint>

#include "foundation/kpl/array.h"

namespace kpl {

class utf8_string_tight;

class utf8_string {
public:
    static constexpr uint32_t npos = 0xFFFFFFFF;

    // 1. Appends up to `max` bytes of `text`, stopping earlier at its first zero byte.
    virtual void append(const char* text, uint32_t max = npos) = 0;
    // 2. The text; "" when the length is 0.
    virtual const char* c_str() const = 0;
    // 3. Replaces the content; same counting rule as append.
    virtual void assign(const char* text, uint32_t max = npos) = 0;
    // 4. Shortens to n bytes; a length already at or below n is left alone.
    virtual void truncate(uint32_t n) = 0;
    // 5. Byte count without the terminator.
    virtual uint32_t length() const = 0;
    // 6. Makes room for n bytes plus the terminator, zero-fills the whole buffer and returns it, for calls
    //    that write text straight into it. n = npos throws kpl::exception_overflow ("Overflow").
    //        char* p = s.begin_write(3);  p[0] = 'h'; p[1] = 'i';  s.end_write();   // s == "hi"
    virtual char* begin_write(uint32_t n) = 0;
    // 7. After begin_write: the length becomes the position of the first zero byte and the buffer is
    //    refitted. Does nothing when there is no buffer at all.
    virtual void end_write() = 0;

    virtual ~utf8_string() = default;

    // Helpers over the seven operations.
    bool is_empty() const { return length() == 0; }
    void assign_cstr(const char* text) { assign(text, npos); }
    void set_cstr(const char* text) { assign(text, npos); }
    void set_counted(const char* text, uint32_t max) { assign(text, max); }
    void set_string(const utf8_string& other) { assign(other.c_str(), other.length()); }
    void append_cstr(const char* text) { append(text, npos); }
    void append_cstr_virtual(const char* text) { append(text, npos); }
    void append_counted(const char* text, uint32_t max) { append(text, max); }
    void append_string(const utf8_string& other) { append(other.c_str(), other.length()); }
    void append_char(char c) { append(&c, 1); }
    // Signed decimal.
    void append_int(int64_t value);
    // Unsigned decimal.
    void append_uint(uint64_t value);
    // " (0x" + code as 8 upper-case hex digits + ")".
    void append_hex_code(uint32_t code);
    void reset() { truncate(0); }

    utf8_string& operator=(const utf8_string& other) {
        if (this != &other) set_string(other);
        return *this;
    }
    utf8_string& operator=(const char* text) {
        assign(text, npos);
        return *this;
    }
    utf8_string& operator+=(const char* text) {
        append(text, npos);
        return *this;
    }
    utf8_string& operator+=(const utf8_string& other) {
        append_string(other);
        return *this;
    }
    utf8_string& operator<<(const char* text) {
        append(text, npos);
        return *this;
    }
    utf8_string& operator<<(const utf8_string& other) {
        append_string(other);
        return *this;
    }
    utf8_string& operator<<(char c) {
        append_char(c);
        return *this;
    }
    utf8_string& operator<<(int value) {
        append_int(value);
        return *this;
    }
    utf8_string& operator<<(unsigned value) {
        append_uint(value);
        return *this;
    }
    utf8_string& operator<<(long value) {
        append_int(value);
        return *this;
    }
    utf8_string& operator<<(unsigned long value) {
        append_uint(value);
        return *this;
    }
    utf8_string& operator<<(long long value) {
        append_int(value);
        return *this;
    }
    utf8_string& operator<<(unsigned long long value) {
        append_uint(value);
        return *this;
    }

    // Byte-wise equality of the whole texts.
    bool equals(const char* text) const;
    bool equals(const utf8_string& other) const;

protected:
    utf8_string() = default;
    utf8_string(const utf8_string&) = default;
};

inline bool operator==(const utf8_string& a, const utf8_string& b) { return a.equals(b); }
inline bool operator!=(const utf8_string& a, const utf8_string& b) { return !a.equals(b); }
inline bool operator==(const utf8_string& a, const char* b) { return a.equals(b); }
inline bool operator!=(const utf8_string& a, const char* b) { return !a.equals(b); }
inline bool operator==(const char* a, const utf8_string& b) { return b.equals(a); }
inline bool operator!=(const char* a, const utf8_string& b) { return !b.equals(a); }

// The layout both heap-backed policies share: the buffer and the length. The policy classes below are the
// ones to use.
class utf8_string_heap : public utf8_string {
public:
    void append(const char* text, uint32_t max = npos) override;
    const char* c_str() const override { return m_length ? m_buffer.data() : ""; }
    void assign(const char* text, uint32_t max = npos) override;
    void truncate(uint32_t n) override;
    uint32_t length() const override { return m_length; }
    char* begin_write(uint32_t n) override;
    void end_write() override;

    using utf8_string::operator=;

    // The byte buffer (for inspection; count and capacity follow the policy).
    const array<char>& buffer() const noexcept { return m_buffer; }

protected:
    utf8_string_heap() noexcept = default;
    utf8_string_heap(utf8_string_heap&& other) noexcept;
    void move_from(utf8_string_heap& other) noexcept;

    // Sizes the buffer for a new length n (n + 1 bytes at least) by the policy.
    virtual void fit_buffer(uint32_t n) = 0;

    array<char> m_buffer;
    uint32_t m_length = 0;

    friend void string_reset(utf8_string_heap& s) noexcept;
    friend void string_set_n(utf8_string_heap& s, const char* text, uint32_t n);

private:
    bool points_into_buffer(const char* text) const noexcept;
};

// The builder policy: doubling capacity, never shrinks.
class utf8_string_pow2 : public utf8_string_heap {
public:
    utf8_string_pow2() noexcept = default;
    utf8_string_pow2(const char* text) { assign(text, npos); }
    utf8_string_pow2(const char* text, uint32_t max) { assign(text, max); }
    utf8_string_pow2(const utf8_string& other) { set_string(other); }
    utf8_string_pow2(const utf8_string_pow2& other) : utf8_string_heap() { set_string(other); }
    utf8_string_pow2(utf8_string_pow2&& other) noexcept : utf8_string_heap(std::move(other)) {}

    utf8_string_pow2& operator=(const utf8_string_pow2& other) {
        if (this != &other) set_string(other);
        return *this;
    }
    utf8_string_pow2& operator=(utf8_string_pow2&& other) noexcept {
        move_from(other);
        return *this;
    }
    utf8_string_pow2& operator=(const utf8_string& other) {
        if (this != &other) set_string(other);
        return *this;
    }
    utf8_string_pow2& operator=(const char* text) {
        assign(text, npos);
        return *this;
    }

protected:
    void fit_buffer(uint32_t n) override;
};

// The storage policy: at most 32 spare bytes kept.
class utf8_string_tight : public utf8_string_heap {
public:
    utf8_string_tight() noexcept = default;
    utf8_string_tight(const char* text) { assign(text, npos); }
    utf8_string_tight(const char* text, uint32_t max) { assign(text, max); }
    utf8_string_tight(const utf8_string& other) { set_string(other); }
    utf8_string_tight(const utf8_string_tight& other) : utf8_string_heap() { set_string(other); }
    utf8_string_tight(utf8_string_tight&& other) noexcept : utf8_string_heap(std::move(other)) {}

    utf8_string_tight& operator=(const utf8_string_tight& other) {
        if (this != &other) set_string(other);
        return *this;
    }
    utf8_string_tight& operator=(utf8_string_tight&& other) noexcept {
        move_from(other);
        return *this;
    }
    utf8_string_tight& operator=(const utf8_string& other) {
        if (this != &other) set_string(other);
        return *this;
    }
    utf8_string_tight& operator=(const char* text) {
        assign(text, npos);
        return *this;
    }

protected:
    void fit_buffer(uint32_t n) override;
};

// Construction helpers under their usual names.
inline utf8_string_tight utf8_string_from_cstr(const char* text) { return utf8_string_tight(text); }
inline utf8_string_tight utf8_string_copy_construct(const utf8_string_tight& other) { return utf8_string_tight(other); }
inline utf8_string_tight utf8_string_construct_from_base(const utf8_string& other) { return utf8_string_tight(other); }

// Length 0 and the storage freed.
void string_reset(utf8_string_heap& s) noexcept;
// Exactly n bytes of `text` (zero bytes included) and a terminator, in a buffer of exactly n + 1 bytes;
// n = 0 empties the string.
void string_set_n(utf8_string_heap& s, const char* text, uint32_t n);
// Up to `max` bytes of `text` or up to its first zero byte, stored as string_set_n does.
void string_set_bounded(utf8_string_heap& s, const char* text, uint32_t max);

// Length of `text` up to `max` bytes (the first zero byte ends it). A null text has length 0.
uint32_t strnlen(const char* text, uint32_t max) noexcept;
inline uint32_t strlen_bounded(const char* text, uint32_t max) noexcept { return strnlen(text, max); }

// Appends '\' unless the text already ends with one; an empty text gets one.
void path_add_trailing_backslash(utf8_string& s);

}  // namespace kpl
