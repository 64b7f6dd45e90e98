#pragma once
// Base64 with the standard alphabet (A-Z a-z 0-9 + /) and '=' padding.
//
//     kpl::base64_decoded_size("QQ==")   1
//     kpl::base64_decoded_size("QQ=")    throws kpl::exception_invalid_params (length not a multiple of 4)
//     kpl::base64_encode("A", 1, s)      s == "QQ=="
//
// Decoding is strict: a character outside the alphabet, '=' anywhere but in the last two places, or a
// length that is not a multiple of 4 throws kpl::exception_invalid_params ("Invalid parameters").

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"

#include <cstdint>

namespace kpl {

// length / 4 * 3, less one for each of up to two trailing '='.
uint32_t base64_decoded_size(const char* text, uint32_t length = utf8_string::npos);

// Decodes into out, which receives exactly base64_decoded_size bytes.
void base64_decode(const char* text, uint32_t length, void* out);
// Decodes the whole text into the array (sized exactly).
void base64_decode(const char* text, byte_array& out);

// Replaces out with the encoded form of the bytes.
void base64_encode(const void* bytes, uint32_t count, utf8_string& out);

}  // namespace kpl
