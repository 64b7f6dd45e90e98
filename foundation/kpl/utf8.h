#pragma once
// UTF-8 and UTF-16 characters and buffer conversions.
//
// Decoding accepts sequences of 1 to 6 bytes and rejects the lead bytes 0xC0 and 0xC1, every
// overlong form and every continuation byte that is not 10xxxxxx; the counted forms also reject a
// sequence that does not fit in the bytes left. Every conversion stops at the first invalid
// sequence and drops the text after it:
//
//     utf8_to_utf16(out, 16, "ab\xFF" "cd") writes L"ab" and returns 2
//     utf8_to_utf16(out, 16, "\xF4\x8F\xBF\xBF") writes 0xDBFF 0xDFFF (U+10FFFF)
//     a code point above U+10FFFF (5- and 6-byte forms) becomes '?'
//
// Lengths passed as kpl::text_npos mean "up to the terminating zero". Output buffers are bounded
// (their size counts the terminator), always zero-terminated when their size is at least 1, and a
// character whose units do not fit is not split.

#include <cstddef>
#include <cstdint>

namespace kpl {

constexpr size_t text_npos = ~static_cast<size_t>(0);

// Decodes the character at text into *code_point (may be null). Returns its byte length, or 0 at
// the terminating zero or an invalid sequence (*code_point is then 0).
size_t utf8_decode_char(const char* text, uint32_t* code_point);
size_t utf8_decode_char(const char* text, uint32_t* code_point, size_t limit);

// Writes the UTF-8 form of the code point (1-6 bytes) to out, which may be null to ask only for the
// length. 0 for values above 0x7FFFFFFF.
size_t utf8_encode_char(uint32_t code_point, char* out);

// Writes one unit below U+10000, a surrogate pair up to U+10FFFF, '?' above. Returns the units.
size_t utf16_encode_char(uint32_t code_point, wchar_t* out);

// UTF-8 -> UTF-16 into out (out_size units, terminator included). Returns the units written.
size_t utf8_to_utf16(wchar_t* out, size_t out_size, const char* text);
size_t utf8_to_utf16_counted(wchar_t* out, size_t out_size, const char* text, size_t length);

// UTF-16 -> UTF-8 into out (out_size bytes, terminator included); a high surrogate followed by a
// low one is joined, unpaired units are encoded as they are; a zero unit ends the text. Returns the
// bytes written.
size_t utf16_to_utf8_counted(char* out, size_t out_size, const wchar_t* text, size_t length);

// Buffer sizes for the conversions above, terminator included.
size_t utf16_length_of_utf8(const char* text);
size_t utf16_length_of_utf8_counted(const char* text, size_t length);
size_t utf8_length_of_utf16(const wchar_t* text, size_t length = text_npos);
size_t utf8_length_of_ucs4(const uint32_t* code_points, size_t count);

// Byte offset of the n-th character (stops at the end of the text or an invalid sequence).
size_t utf8_offset_of_char(const char* text, size_t n);

// Whether all of the n bytes are valid UTF-8 (with text_npos: up to the terminator; otherwise a
// zero byte inside the n bytes is invalid). *valid_length receives the length of the valid prefix.
bool utf8_check(const char* text, size_t n, size_t* valid_length = nullptr);

// Number of characters in at most n bytes (stops at a zero byte or an invalid sequence).
size_t utf8_char_count(const char* text, size_t n);

}  // namespace kpl
