#include "foundation/kpl/codepage.h"

#include "foundation/kpl/exceptions.h"

#include <windows.h>

namespace kpl {

namespace {

uint32_t to_u32(size_t n) {
    if (n > 0x7FFFFFFF) throw_bad_alloc();
    return static_cast<uint32_t>(n);
}

void utf8_to_units(array<wchar_t>& units, const char* text, size_t length) {
    size_t needed = utf16_length_of_utf8_counted(text, length);
    units.resize_exact(to_u32(needed));
    utf8_to_utf16_counted(units.data(), needed, text, length);
}

}  // namespace

utf8_string_tight utf8_string_from_utf16(const wchar_t* text, size_t length) {
    size_t needed = utf8_length_of_utf16(text, length);
    array<char> bytes;
    bytes.resize_exact(to_u32(needed));
    utf16_to_utf8_counted(bytes.data(), needed, text, length);
    return utf8_string_tight(bytes.data(), to_u32(needed - 1));
}

void utf8_to_wide_array(wide_array& out, const char* text, size_t length) {
    size_t needed = utf16_length_of_utf8_counted(text, length);
    out.set_count(to_u32(needed));
    utf8_to_utf16_counted(out.data(), needed, text, length);
}

void utf8_to_codepage(array<char>& out, const char* text, size_t length, unsigned codepage) {
    array<wchar_t> units;
    utf8_to_units(units, text, length);
    int unit_count = static_cast<int>(units.count() - 1);
    int bytes = unit_count ? WideCharToMultiByte(codepage, 0, units.data(), unit_count, nullptr, 0, nullptr, nullptr) : 0;
    if (bytes < 0) bytes = 0;
    array<char> result;
    result.resize_exact(static_cast<uint32_t>(bytes) + 1);
    if (bytes > 0) {
        bytes = WideCharToMultiByte(codepage, 0, units.data(), unit_count, result.data(), bytes, nullptr, nullptr);
        if (bytes < 0) bytes = 0;
    }
    result[static_cast<uint32_t>(bytes)] = 0;
    out = static_cast<array<char>&&>(result);
}

utf8_string_tight ansi_to_utf8(const char* text, size_t max_length) {
    size_t n = 0;
    while (n < max_length && text[n]) ++n;
    if (n == 0) return utf8_string_tight();
    int source = static_cast<int>(to_u32(n));
    int units = MultiByteToWideChar(CP_ACP, 0, text, source, nullptr, 0);
    if (units <= 0) return utf8_string_tight();
    array<wchar_t> wide;
    wide.resize_exact(static_cast<uint32_t>(units) + 1);
    units = MultiByteToWideChar(CP_ACP, 0, text, source, wide.data(), units);
    if (units < 0) units = 0;
    wide[static_cast<uint32_t>(units)] = 0;
    return utf8_string_from_utf16(wide.data(), static_cast<size_t>(units));
}

}  // namespace kpl
