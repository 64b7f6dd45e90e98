// Splitting the command line, finding start-up switches and reading the "/lang" value.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "shell/command_line.h"
#include "shell/language_switch.h"

namespace {

std::vector<std::string> split(const char* text) {
    kpl::string_array args = split_command_line(text);
    std::vector<std::string> out;
    for (const auto& a : args) out.push_back(a.c_str());
    return out;
}

}  // namespace

TEST_CASE("split_command_line: spaces end arguments, quotes join runs, no escapes") {
    struct split_case {
        const char* text;
        std::vector<std::string> expected;
    };
    const split_case cases[] = {
        {"vorn.exe", {"vorn.exe"}},
        {"vorn.exe /quiet  /hide", {"vorn.exe", "/quiet", "/hide"}},
        {"\"C:\\Program Files\\vorn.exe\" /lang 0x40C", {"C:\\Program Files\\vorn.exe", "/lang", "0x40C"}},
        {"vorn.exe ab\"c d\"e", {"vorn.exe", "abc de"}},
        {"vorn.exe \"\" x", {"vorn.exe", "", "x"}},
        {" vorn.exe", {"", "vorn.exe"}},
        {"vorn.exe \"unterminated run", {"vorn.exe", "unterminated run"}},
        {"vorn.exe a\\\"b c\"", {"vorn.exe", "a\\b c"}},
        {"vorn.exe tab\there", {"vorn.exe", "tab\there"}},
        {"vorn.exe caf\xC3\xA9", {"vorn.exe", "caf\xC3\xA9"}},
        {"vorn.exe   ", {"vorn.exe"}},
        {"", {""}},
    };
    for (const split_case& c : cases) {
        INFO(c.text);
        CHECK(split(c.text) == c.expected);
    }
}

TEST_CASE("find_switch: '/' and exactly the name, case-sensitive, never element 0") {
    kpl::string_array args = split_command_line("/quiet /LANG /lang 12 -hide /hidex /hide");
    struct switch_case {
        const char* name;
        int expected;
    };
    const switch_case cases[] = {{"quiet", -1}, {"lang", 2}, {"LANG", 1}, {"hide", 6}, {"hid", -1}, {"play", -1}};
    for (const switch_case& c : cases) {
        INFO(c.name);
        CHECK(find_switch(args, c.name) == c.expected);
    }
}

TEST_CASE("parse_language_id: decimal or 0x-hexadecimal, every failure gives 0") {
    struct lang_case {
        const char* text;
        uint32_t expected;
    };
    const lang_case cases[] = {
        {"1036", 1036},       {"0x40C", 0x40C},        {"0x40c", 0x40C},      {"0x", 0},
        {"12x", 0},           {"", 0},                 {"-1", 0},             {"0X40C", 0},
        {"4294967295", 0xFFFFFFFF}, {"4294967296", 0},  {"0xFFFFFFFF", 0xFFFFFFFF},
        {"0x100000000", 0},   {"0x0FFFFFFFF", 0xFFFFFFFF}, {"0x1G", 0},       {" 12", 0},
    };
    for (const lang_case& c : cases) {
        INFO(c.text);
        CHECK(parse_language_id(c.text) == c.expected);
    }
}
