#include "shell/command_line.h"

#include <cstring>

kpl::string_array split_command_line(const char* text) {
    kpl::string_array args;
    kpl::utf8_string_pow2 current;
    const char* p = text ? text : "";
    while (true) {
        char c = *p;
        if (c == 0) {
            args.append(current);
            return args;
        }
        if (c == ' ') {
            args.append(current);
            current.reset();
            while (*p == ' ') ++p;
            if (*p == 0) return args;
            continue;
        }
        if (c == '"') {
            const char* start = ++p;
            while (*p && *p != '"') ++p;
            current.append(start, static_cast<uint32_t>(p - start));
            if (*p == '"') ++p;
            continue;
        }
        const char* start = p;
        while (*p && *p != ' ' && *p != '"') ++p;
        current.append(start, static_cast<uint32_t>(p - start));
    }
}

int find_switch(const kpl::string_array& args, const char* name) {
    for (uint32_t i = 1; i < args.count(); ++i) {
        const char* arg = args[i].c_str();
        if (arg[0] == '/' && std::strcmp(arg + 1, name) == 0) return static_cast<int>(i);
    }
    return -1;
}

namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

kpl::utf8_string_pow2 make_absolute_path(const char* argument, const char* base) {
    const char* arg = argument ? argument : "";
    if (std::strncmp(arg, "\\\\?\\", 4) == 0) arg += 4;
    if (is_ascii_letter(arg[0]) && arg[1] == ':') {
        kpl::utf8_string_pow2 out(arg);
        if (arg[2] == 0) out << "\\";
        return out;
    }
    if (std::strchr(arg, ':') || std::strncmp(arg, "\\\\", 2) == 0) return kpl::utf8_string_pow2(arg);

    kpl::utf8_string_pow2 path;
    for (const char* p = arg; *p; ++p) path.append_char(*p == '/' ? '\\' : *p);

    const char* folder = base ? base : "";
    if (std::strncmp(folder, "file://", 7) == 0) folder += 7;
    if (path.c_str()[0] == '\\') {
        if (is_ascii_letter(folder[0]) && folder[1] == ':') {
            kpl::utf8_string_pow2 out(folder, 2);
            out << path;
            return out;
        }
        return path;
    }
    kpl::utf8_string_pow2 out(base ? base : "");
    uint32_t n = out.length();
    if (n > 0 && out.c_str()[n - 1] != '\\' && out.c_str()[n - 1] != '/') out << "\\";
    out << path;
    return out;
}
