#pragma once
// CRC-32 checksums of texts: the hash of a track's path in the handle map, and a letter-case-blind hash
// for names that must match in any case (the single-instance mutex, title function names).
//
//     utf8_crc32("abc") == 0x352441C2
//     utf8_crc32_nocase(UINT32_MAX, "ABC") == utf8_crc32("abc")
//     utf8_crc32_nocase(UINT32_MAX, "\xC3\x89") == utf8_crc32("\xC3\xA9")    (É hashes as é)

#include <cstdint>

// CRC-32 (starting value 0) of the bytes up to the terminating zero.
uint32_t utf8_crc32(const char* text);

// CRC-32 (starting value 0) of the text lowered character by character: A-Z become a-z, other
// characters below U+10000 take the system's lower-case mapping, characters from U+10000 on stay. It
// stops at the terminating zero, after `max_bytes` bytes, or at an invalid UTF-8 sequence.
uint32_t utf8_crc32_nocase(uint32_t max_bytes, const char* text);
