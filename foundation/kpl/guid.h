#pragma once
// kpl::guid: the 16-byte identifier of service classes, configuration variables, commands, menu nodes and
// file formats.
//
// The memory form is the platform's GUID layout: a 32-bit little-endian field, two 16-bit little-endian
// fields, then eight bytes. Equality compares the four 32-bit words; order compares the 16 memory bytes,
// which is *not* the order of the text form:
//
//     kpl::guid a = {0xFF000000, 0, 0, {}};   // memory bytes 00 00 00 FF ...
//     kpl::guid b = {0x00000001, 0, 0, {}};   // memory bytes 01 00 00 00 ...
//     kpl::guid_compare(a, b) == -1;          // although 0xFF000000 > 1
//
//     kpl::guid g = kpl::guid_from_text("{87D2C583-7AFB-4E58-B21E-FBD3E6E8F5E7}");
//     char hex[33]; kpl::format_hex_bytes(&g, hex);   // "83C5D287FB7A584EB21EFBD3E6E8F5E7"

#include <cstdint>

namespace kpl {

struct guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(guid) == 16, "kpl::guid must have the platform's 16-byte GUID layout");

// The all-zero GUID.
constexpr guid guid_null = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// True when all four 32-bit words are equal. guid_equals is the same test under its other name.
bool guid_equal(const guid& a, const guid& b) noexcept;
inline bool guid_equals(const guid& a, const guid& b) noexcept { return guid_equal(a, b); }

// -1, 0 or 1 in byte-wise (unsigned) order of the 16 memory bytes. The key order of every GUID-keyed table.
int guid_compare(const guid& a, const guid& b) noexcept;

// Byte-wise inequality: true when any of the 16 bytes differ.
bool guid_differs(const guid& a, const guid& b) noexcept;

// One byte from two hex digits (0-9, a-f, A-F); a character that is not a hex digit counts as 0.
//     hex_byte_value('4', 'e') == 0x4E;  hex_byte_value('x', '1') == 0x01
uint8_t hex_byte_value(char high, char low) noexcept;

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; the braces are optional and any number of '-' may stand
// between the groups (so the 32 bare hex digits parse too). Non-hex characters count as 0; nothing throws.
// Parsing stops at '}' or the end of the text; a group that would run past that end is not read, and the
// fields from there on keep the values `out` had before the call.
void guid_from_text(const char* text, guid& out) noexcept;
// The same, starting from the all-zero GUID.
guid guid_from_text(const char* text) noexcept;

// 16 bytes as 32 upper-case hex digits, two per byte in memory order, no separators; `out` receives 33
// bytes (the digits and a terminating zero).
void format_hex_bytes(const void* bytes16, char* out33) noexcept;

inline bool operator==(const guid& a, const guid& b) noexcept { return guid_equal(a, b); }
inline bool operator!=(const guid& a, const guid& b) noexcept { return !guid_equal(a, b); }
// Memory-byte order, as guid_compare.
inline bool operator<(const guid& a, const guid& b) noexcept { return guid_compare(a, b) < 0; }

}  // namespace kpl
