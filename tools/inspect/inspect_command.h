#pragma once
// The commands of vorn-inspect, the console test tool. Each command registers itself from its own file
// with a static record; `vorn-inspect --help` prints the table.
//
//     static int run_services(const inspect_arguments& args, inspect_output& out) {
//         out.line("{87D2C583-7AFB-4E58-B21E-FBD3E6E8F5E7} 1");
//         return 0;
//     }
//     static inspect_command g_services("services", "", "lists the registered service classes", &run_services);
//
// Rules every command follows:
//   - positional arguments first, then options ("--name", "--name=value" or "--name value");
//   - paths may be Linux paths ("/tmp/x.flac") or relative ones ("x.flac"): inspect_path turns them into
//     absolute Windows paths;
//   - arguments and output are UTF-8; output is collected and written only when the command succeeds, so a
//     failing command leaves nothing half-written on standard output;
//   - failures are exceptions: the tool prints their text on standard error and exits with 1.

#include <cstdint>
#include <string>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"

struct inspect_arguments {
    // The arguments after the command name, up to the first option.
    kpl::string_array positional;
    // Options in the order given: names without the leading "--", and their values ("" for a flag).
    kpl::string_array option_names;
    kpl::string_array option_values;

    // The value of an option, or null when it was not given.
    const char* option(const char* name) const;
    bool has_option(const char* name) const { return option(name) != nullptr; }
    // The positional argument `index`, or an exception naming what is missing.
    const char* required(uint32_t index, const char* what) const;
    // Throws for more than `max_positional` positional arguments or an option not in `known` (a
    // null-terminated list, or null for none).
    void expect(uint32_t max_positional, const char* const* known = nullptr) const;
};

class inspect_output {
public:
    // Appends the text and a line feed.
    void line(const char* text);
    void text(const char* text) { m_text.append_cstr(text); }
    const kpl::utf8_string& collected() const noexcept { return m_text; }

private:
    kpl::utf8_string_pow2 m_text;
};

using inspect_handler = int (*)(const inspect_arguments& args, inspect_output& out);

// A command record, linked into the tool's command list at static initialisation.
class inspect_command {
public:
    inspect_command(const char* name, const char* synopsis, const char* help, inspect_handler handler) noexcept;

    const char* name;
    // The arguments after the name, e.g. "FILE [--raw]"; "" for none.
    const char* synopsis;
    // One line saying what the command does.
    const char* help;
    inspect_handler handler;
    inspect_command* next;

    static inspect_command* first() noexcept;
    static const inspect_command* find(const char* name) noexcept;
};

// A path argument as an absolute Windows path: a Linux path (starting with "/") goes through Wine's
// wine_get_dos_file_name when the tool runs under Wine; a relative path is taken from the current folder
// (GetFullPathNameW); a location with a scheme ("file://...") is used as given.
kpl::utf8_string_tight inspect_path(const char* argument);

// Splits the arguments after the command name into positional arguments and options.
inspect_arguments parse_inspect_arguments(const kpl::string_array& args, uint32_t first);

// A GUID as commands print it: upper-case hex in braces.
//     inspect_guid_text(ui_module::class_guid) -> "{1ADD4DC4-B278-4A0C-A105-2629F4B312F4}"
std::string inspect_guid_text(const kpl::guid& g);
