#include "tools/inspect/inspect_command.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"

namespace {

inspect_command* g_first = nullptr;

}  // namespace

inspect_command::inspect_command(const char* name_, const char* synopsis_, const char* help_,
                                 inspect_handler handler_) noexcept
    : name(name_), synopsis(synopsis_), help(help_), handler(handler_), next(g_first) {
    g_first = this;
}

inspect_command* inspect_command::first() noexcept { return g_first; }

const inspect_command* inspect_command::find(const char* name) noexcept {
    for (const inspect_command* c = g_first; c; c = c->next) {
        if (std::strcmp(c->name, name) == 0) return c;
    }
    return nullptr;
}

const char* inspect_arguments::option(const char* name) const {
    for (uint32_t i = 0; i < option_names.count(); ++i) {
        if (option_names[i] == name) return option_values[i].c_str();
    }
    return nullptr;
}

const char* inspect_arguments::required(uint32_t index, const char* what) const {
    if (index >= positional.count()) {
        kpl::utf8_string_pow2 message("missing argument: ");
        message << what;
        throw kpl::exception_with_message(message.c_str());
    }
    return positional[index].c_str();
}

void inspect_arguments::expect(uint32_t max_positional, const char* const* known) const {
    if (positional.count() > max_positional) {
        kpl::utf8_string_pow2 message("unexpected argument: ");
        message << positional[max_positional];
        throw kpl::exception_with_message(message.c_str());
    }
    for (uint32_t i = 0; i < option_names.count(); ++i) {
        bool found = false;
        for (const char* const* k = known; k && *k && !found; ++k) found = option_names[i] == *k;
        if (!found) {
            kpl::utf8_string_pow2 message("unknown option: --");
            message << option_names[i];
            throw kpl::exception_with_message(message.c_str());
        }
    }
}

void inspect_output::line(const char* text) {
    m_text.append_cstr(text);
    m_text.append_char('\n');
}

inspect_arguments parse_inspect_arguments(const kpl::string_array& args, uint32_t first) {
    inspect_arguments parsed;
    bool options = false;
    bool value_may_follow = false;  // the last option had no "=value": "--bits 24" gives it one
    for (uint32_t i = first; i < args.count(); ++i) {
        const char* arg = args[i].c_str();
        if (arg[0] == '-' && arg[1] == '-' && arg[2] != 0) {
            options = true;
            const char* name = arg + 2;
            const char* equals = std::strchr(name, '=');
            if (equals) {
                parsed.option_names.append(name, static_cast<uint32_t>(equals - name));
                parsed.option_values.append(equals + 1);
            } else {
                parsed.option_names.append(name);
                parsed.option_values.append("");
            }
            value_may_follow = !equals;
        } else if (value_may_follow) {
            parsed.option_values[parsed.option_values.count() - 1] = arg;
            value_may_follow = false;
        } else if (options) {
            kpl::utf8_string_pow2 message("options come after the positional arguments: ");
            message << arg;
            throw kpl::exception_with_message(message.c_str());
        } else {
            parsed.positional.append(arg);
        }
    }
    return parsed;
}

namespace {

// A Windows path made absolute against the current folder ("a.flac", "..\\b.flac", "C:x.flac"); an
// absolute one comes back as given, apart from the separators and "." and ".." steps the system folds.
kpl::utf8_string_tight full_windows_path(const char* argument) {
    kpl::wide_array wide;
    kpl::utf8_to_wide_array(wide, argument);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return kpl::utf8_string_tight(argument);
    kpl::wide_array full;
    full.set_count(needed + 1);
    const DWORD got = GetFullPathNameW(wide.c_str(), needed + 1, full.data(), nullptr);
    if (got == 0 || got > needed) return kpl::utf8_string_tight(argument);
    return kpl::utf8_string_from_utf16(full.data(), got);
}

}  // namespace

kpl::utf8_string_tight inspect_path(const char* argument) {
    if (argument[0] == 0 || std::strstr(argument, "://") != nullptr) return kpl::utf8_string_tight(argument);
    if (argument[0] != '/') return full_windows_path(argument);
    using dos_name_function = WCHAR* (CDECL*)(const char*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto to_dos = reinterpret_cast<dos_name_function>(
        reinterpret_cast<void*>(kernel ? GetProcAddress(kernel, "wine_get_dos_file_name") : nullptr));
    if (!to_dos) return kpl::utf8_string_tight(argument);
    WCHAR* dos = to_dos(argument);
    if (!dos) return kpl::utf8_string_tight(argument);
    kpl::utf8_string_tight converted = kpl::utf8_string_from_utf16(dos);
    HeapFree(GetProcessHeap(), 0, dos);
    return converted;
}

std::string inspect_guid_text(const kpl::guid& g) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                  g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}
