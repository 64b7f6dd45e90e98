#include "foundation/kpl/io_exceptions.h"

#include <cstring>

#include "foundation/kpl/string.h"
#include "foundation/kpl/text_lookup.h"

namespace ketrel_io {

namespace {

kpl::exception_message looked_up(const char* id) noexcept {
    try {
        kpl::utf8_string_pow2 text;
        kpl::lookup_text(id, text);
        return kpl::exception_message(text.c_str(), text.length());
    } catch (...) {
        return kpl::exception_message();
    }
}

// The text with every "{code}" placeholder filled in. Any other placeholder, or a "{" without a closing
// "}", cannot be resolved: the result is then "".
kpl::exception_message coded_text(uint32_t code) noexcept {
    try {
        kpl::utf8_string_pow2 pattern;
        kpl::lookup_text("exception_io_with_code", pattern);
        kpl::utf8_string_pow2 out;
        const char* p = pattern.c_str();
        for (;;) {
            const char* open = std::strchr(p, '{');
            if (!open) {
                out.append_cstr(p);
                break;
            }
            const char* close = std::strchr(open + 1, '}');
            if (!close) return kpl::exception_message();
            if (close - open - 1 != 4 || std::strncmp(open + 1, "code", 4) != 0) return kpl::exception_message();
            out.append(p, static_cast<uint32_t>(open - p));
            out.append_uint(code);
            p = close + 1;
        }
        return kpl::exception_message(out.c_str(), out.length());
    } catch (...) {
        return kpl::exception_message();
    }
}

}  // namespace

exception_io::exception_io(text_id id) noexcept : exception_with_message(looked_up(id.id)) {}

exception_io_win32_ex::exception_io_win32_ex(uint32_t code) noexcept
    : m_coded_message(coded_text(code)), m_code(code) {}

}  // namespace ketrel_io

void throw_win32_io_error(uint32_t code) {
    using namespace ketrel_io;
    switch (code) {
    case 2:
    case 3:
        throw exception_io_not_found();
    case 5:
    case 65:
        throw exception_io_denied();
    case 19:
        throw exception_io_write_protected();
    case 23:
    case 1392:
    case 1393:
        throw exception_io_file_corrupted();
    case 32:
    case 33:
    case 148:
    case 170:
        throw exception_io_sharing_violation();
    case 39:
    case 112:
        throw exception_io_device_full();
    case 80:
    case 183:
        throw exception_io_already_exists();
    case 111:
        throw exception_io_name_too_long();
    case 145:
        throw exception_io_directory_not_empty();
    default:
        throw exception_io_win32_ex(code);
    }
}
