// Path pieces. A separator is one of '/', '\', ':' and '|'.
//
//     $filename(C:\Music\a.b.flac)        "a.b"
//     $ext(C:\Music\a.b.flac)             "flac"
//     $directory(C:\Music\Rock\a.flac)    "Rock"       $directory(C:\Music\Rock\a.flac,2)  "Music"
//     $directory_path(C:\Music\a.flac)    "C:\Music"
#include <cstdint>

#include "metadata/title_formatting/title_functions.h"
#include "metadata/title_formatting/title_paths.h"

namespace title_functions {

bool f_filename(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    title_path_append_filename(call.output, x.c_str(), x.length());
    return truth;
}

bool f_ext(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    const char* text = x.c_str();
    const uint32_t length = x.length();
    const uint32_t name = title_path_name_start(text, length);
    uint32_t dot = length;
    for (uint32_t i = name; i < length; ++i)
        if (text[i] == '.') dot = i;
    if (dot == length) return false;
    uint32_t end = dot + 1;
    while (end < length && text[end] != '?') ++end;
    const uint32_t size = end - dot - 1;
    if (size == 0 || size >= 32) return false;
    call.output.append(text + dot + 1, size);
    return truth;
}

bool f_directory_path(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    const uint32_t name = title_path_name_start(x.c_str(), x.length());
    if (name == 0) return false;
    call.output.append(x.c_str(), name - 1);
    return truth;
}

bool f_directory(const title_call& call) {
    const uint32_t n = call.count();
    if (n != 1 && n != 2) return false;
    kpl::utf8_string_pow2 x;
    const bool truth = title_eval_arg(call, 0, x);
    int64_t levels = 1;
    if (n == 2) levels = low32(title_eval_arg_number(call, 1));
    if (levels < 1) return false;
    uint32_t end = x.length();
    for (int64_t i = 0; i < levels; ++i) {
        const uint32_t name = title_path_name_start(x.c_str(), end);
        if (name == 0) return false;
        end = name - 1;
    }
    const uint32_t folder = title_path_name_start(x.c_str(), end);
    call.output.append(x.c_str() + folder, end - folder);
    return truth;
}

}  // namespace title_functions
