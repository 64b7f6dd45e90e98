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
